#include "quorvane/assignment.h"

#include <algorithm>
#include <limits>

namespace qv {

// Shortest augmenting paths with potentials on the problem padded to a square;
// padding and forbidden pairs cost kForbidden and are dropped at the end.
const std::vector<int> &Assignment::solve(const std::vector<double> &cost, int rows, int cols)
{
    result_.assign(rows, -1);
    if (rows == 0 || cols == 0)
        return result_;
    const int n = std::max(rows, cols);
    square_.assign(static_cast<size_t>(n) * n, kForbidden);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            square_[static_cast<size_t>(r) * n + c] = std::min(cost[static_cast<size_t>(r) * cols + c], kForbidden);

    const double inf = std::numeric_limits<double>::infinity();
    u_.assign(n + 1, 0);
    v_.assign(n + 1, 0);
    match_.assign(n + 1, 0); // column j (1-based) -> row (1-based), 0 = free
    way_.assign(n + 1, 0);
    for (int i = 1; i <= n; ++i) {
        match_[0] = i;
        int j0 = 0;
        min_to_.assign(n + 1, inf);
        used_.assign(n + 1, 0);
        do {
            used_[j0] = 1;
            const int i0 = match_[j0];
            double delta = inf;
            int j1 = 0;
            for (int j = 1; j <= n; ++j) {
                if (used_[j])
                    continue;
                const double cur = square_[static_cast<size_t>(i0 - 1) * n + (j - 1)] - u_[i0] - v_[j];
                if (cur < min_to_[j]) {
                    min_to_[j] = cur;
                    way_[j] = j0;
                }
                if (min_to_[j] < delta) {
                    delta = min_to_[j];
                    j1 = j;
                }
            }
            for (int j = 0; j <= n; ++j) {
                if (used_[j]) {
                    u_[match_[j]] += delta;
                    v_[j] -= delta;
                } else {
                    min_to_[j] -= delta;
                }
            }
            j0 = j1;
        } while (match_[j0] != 0);
        do {
            const int j1 = way_[j0];
            match_[j0] = match_[j1];
            j0 = j1;
        } while (j0 != 0);
    }
    for (int j = 1; j <= n; ++j) {
        const int r = match_[j] - 1;
        const int c = j - 1;
        if (r >= 0 && r < rows && c < cols && cost[static_cast<size_t>(r) * cols + c] < kForbidden)
            result_[r] = c;
    }
    return result_;
}

} // namespace qv
