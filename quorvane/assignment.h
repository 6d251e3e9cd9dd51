// Optimal one-to-one assignment on a cost matrix (Hungarian method).
#pragma once

#include <vector>

namespace qv {

// cost is rows x cols, row-major. Pairs costing kForbidden or more are never
// matched. Returns, for each row, the matched column or -1.
constexpr double kForbidden = 1e6;

class Assignment {
public:
    const std::vector<int> &solve(const std::vector<double> &cost, int rows, int cols);

private:
    std::vector<double> u_, v_, min_to_;
    std::vector<int> match_, way_, result_;
    std::vector<char> used_;
    std::vector<double> square_;
};

} // namespace qv
