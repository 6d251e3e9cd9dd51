#include "quorvane/downscale.h"

#include <cstring>

#include <opencv2/core/hal/intrin.hpp>

namespace qv {

namespace {

// Adds the cell sums of one source row to acc, 16 cells per step: the
// de-interleaving loads split each group of F bytes into F vectors that are
// then widened and added. Returns the cells done; the caller finishes the rest.
template <int F>
int add_row_simd(const uint8_t *row, uint16_t *acc, int cells)
{
    int gx = 0;
#if CV_SIMD128
    constexpr int kStep = 16;
    for (; gx + kStep <= cells; gx += kStep) {
        cv::v_uint8x16 part[4];
        const uint8_t *p = row + gx * F;
        if constexpr (F == 2)
            cv::v_load_deinterleave(p, part[0], part[1]);
        else if constexpr (F == 3)
            cv::v_load_deinterleave(p, part[0], part[1], part[2]);
        else
            cv::v_load_deinterleave(p, part[0], part[1], part[2], part[3]);
        cv::v_uint16x8 lo = cv::v_load(acc + gx), hi = cv::v_load(acc + gx + 8);
        for (int k = 0; k < F; ++k) {
            cv::v_uint16x8 a, b;
            cv::v_expand(part[k], a, b);
            lo += a;
            hi += b;
        }
        cv::v_store(acc + gx, lo);
        cv::v_store(acc + gx + 8, hi);
    }
#endif
    return gx;
}

void add_row(const uint8_t *row, uint32_t *acc32, uint16_t *acc, int cells, int f)
{
    int gx = 0;
    switch (f) {
    case 2: gx = add_row_simd<2>(row, acc, cells); break;
    case 3: gx = add_row_simd<3>(row, acc, cells); break;
    case 4: gx = add_row_simd<4>(row, acc, cells); break;
    default: break;
    }
    for (; gx < cells; ++gx) {
        unsigned s = 0;
        for (int k = 0; k < f; ++k)
            s += row[gx * f + k];
        acc32[gx] += s;
    }
}

} // namespace

void Downscaler::init(int src_width, int factor, int grid_width, int grid_height)
{
    src_width_ = src_width;
    factor_ = factor;
    grid_width_ = grid_width;
    grid_height_ = grid_height;
    sum16_.assign(static_cast<size_t>(grid_width), 0);
    sum32_.assign(static_cast<size_t>(grid_width), 0);
}

// Each cell is the rounded mean of its factor x factor pixels; columns and rows
// past the last whole cell are left out. Factors 2 to 4 (frames up to about
// 1920 wide) take the vector path with 16-bit sums (4 * 4 * 255 fits); the
// others sum in 32 bits.
void Downscaler::run(const uint8_t *src, cv::Mat &out)
{
    out.create(grid_height_, grid_width_, CV_8UC1);
    const int f = factor_;
    if (f == 1) {
        for (int y = 0; y < grid_height_; ++y)
            std::memcpy(out.ptr(y), src + static_cast<size_t>(y) * src_width_, grid_width_);
        return;
    }
    // Division by the cell size as a multiply: exact to the rounding for sums below 2^16.
    const uint32_t scale = ((1u << 24) + static_cast<uint32_t>(f * f) / 2) / static_cast<uint32_t>(f * f);
    uint16_t *acc = sum16_.data();
    uint32_t *acc32 = sum32_.data();
    for (int gy = 0; gy < grid_height_; ++gy) {
        std::memset(acc, 0, sizeof(uint16_t) * grid_width_);
        std::memset(acc32, 0, sizeof(uint32_t) * grid_width_);
        for (int r = 0; r < f; ++r)
            add_row(src + (static_cast<size_t>(gy) * f + r) * src_width_, acc32, acc, grid_width_, f);
        uint8_t *dst = out.ptr(gy);
        for (int gx = 0; gx < grid_width_; ++gx)
            dst[gx] = static_cast<uint8_t>(
                (static_cast<uint64_t>(acc[gx] + acc32[gx]) * scale + (1u << 23)) >> 24);
    }
}

} // namespace qv
