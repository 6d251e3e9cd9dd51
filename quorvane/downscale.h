// Box-average downscale of the grey frame onto the working grid.
#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace qv {

class Downscaler {
public:
    // src rows are src_width bytes apart; out is grid_width x grid_height, CV_8UC1.
    void init(int src_width, int factor, int grid_width, int grid_height);
    void run(const uint8_t *src, cv::Mat &out);

private:
    int src_width_ = 0;
    int factor_ = 1;
    int grid_width_ = 0;
    int grid_height_ = 0;
    std::vector<uint16_t> sum16_; // per cell of the current grid row, vector path
    std::vector<uint32_t> sum32_; // the rest
};

} // namespace qv
