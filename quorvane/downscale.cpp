#include "quorvane/downscale.h"

#include <cstring>

namespace qv {

void Downscaler::init(int src_width, int factor, int grid_width, int grid_height)
{
    src_width_ = src_width;
    factor_ = factor;
    grid_width_ = grid_width;
    grid_height_ = grid_height;
    row_sum_.assign(static_cast<size_t>(grid_width) * factor, 0);
}

// Vertical sums first (a plain add of whole rows into 16-bit sums, which the
// compiler vectorises; a factor below 257 cannot overflow them), then the
// horizontal sum of each cell. Columns and rows past the last whole cell are left out.
void Downscaler::run(const uint8_t *src, cv::Mat &out)
{
    out.create(grid_height_, grid_width_, CV_8UC1);
    const int f = factor_;
    if (f == 1) {
        for (int y = 0; y < grid_height_; ++y)
            std::memcpy(out.ptr(y), src + static_cast<size_t>(y) * src_width_, grid_width_);
        return;
    }
    const int used = grid_width_ * f;
    const uint32_t cells = static_cast<uint32_t>(f * f);
    uint16_t *sum = row_sum_.data();
    for (int gy = 0; gy < grid_height_; ++gy) {
        const uint8_t *row = src + static_cast<size_t>(gy) * f * src_width_;
        for (int x = 0; x < used; ++x)
            sum[x] = row[x];
        for (int r = 1; r < f; ++r) {
            const uint8_t *next = row + static_cast<size_t>(r) * src_width_;
            for (int x = 0; x < used; ++x)
                sum[x] = static_cast<uint16_t>(sum[x] + next[x]);
        }
        uint8_t *dst = out.ptr(gy);
        for (int gx = 0; gx < grid_width_; ++gx) {
            const uint16_t *cell = sum + gx * f;
            uint32_t total = 0;
            for (int k = 0; k < f; ++k)
                total += cell[k];
            dst[gx] = static_cast<uint8_t>((total + cells / 2) / cells);
        }
    }
}

} // namespace qv
