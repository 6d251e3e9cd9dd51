#include "quorvane/params.h"

#include <algorithm>
#include <cmath>

namespace qv {

namespace {
// The grid is about this many cells along the longer side: enough for a 40 px
// figure in 1080p to span ten cells, small enough to stay well inside the time budget.
constexpr int kGridCells = 480;       // cells along the longer side, at most
constexpr int kMaxSide = 16384;       // frame pixels; a larger frame is refused
constexpr int kMinGridCells = 8;      // cells across the grid, at least
constexpr int kDefaultMinArea = 120;  // frame pixels of area: the smallest blob kept when param_b is 0
} // namespace

bool make_params(const qv_config &config, Params &out)
{
    const qv_image &image = config.image;
    if (image.data == nullptr || image.channels != 1 || image.width < 16 || image.height < 16 ||
        image.width > kMaxSide || image.height > kMaxSide)
        return false;
    Params p;
    p.width = image.width;
    p.height = image.height;
    const int longer = std::max(p.width, p.height);
    p.factor = std::max(1, (longer + kGridCells - 1) / kGridCells);
    p.grid_width = p.width / p.factor;
    p.grid_height = p.height / p.factor;
    // A strip far longer than it is wide leaves the grid no room across; no camera gives one.
    if (p.grid_width < kMinGridCells || p.grid_height < kMinGridCells)
        return false;

    if (config.param_a > 0)
        p.min_contrast = std::clamp(config.param_a, 2, 128);
    // Smallest blob kept: about a quarter of the smallest figure we look for (40 px tall, 12 wide).
    const int area_px = config.param_b > 0 ? config.param_b : kDefaultMinArea;
    p.min_area_cells = std::max(3, area_px / (p.factor * p.factor));
    p.shadows = config.param_c != 0;
    p.shake = config.param_flag == 0;
    if (config.param_d > 0)
        p.coast_frames = std::min(config.param_d, 1000);
    if (config.param_e > 0)
        p.absorb_frames = config.param_e;
    out = p;
    return true;
}

cv::Rect grid_cells(const Params &params, const cv::Rect2f &box, int margin)
{
    const float f = static_cast<float>(params.factor);
    const int x0 = static_cast<int>(std::floor(box.x / f)) - margin;
    const int y0 = static_cast<int>(std::floor(box.y / f)) - margin;
    const int x1 = static_cast<int>(std::ceil((box.x + box.width) / f)) + margin;
    const int y1 = static_cast<int>(std::ceil((box.y + box.height) / f)) + margin;
    return cv::Rect(x0, y0, x1 - x0, y1 - y0) & cv::Rect(0, 0, params.grid_width, params.grid_height);
}

} // namespace qv
