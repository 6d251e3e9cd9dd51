// Tuning of one detector, derived once from the creation parameters and the frame size.
#pragma once

#include <opencv2/core.hpp>

#include "detector/quorvane.h"

namespace qv {

// Units: frame pixels are those of the image given to the detector; a grid cell is
// `factor` frame pixels a side, and `factor` grows with the frame (1 up to 480 pixels
// along the longer side, 2 up to 960, 3 at 720p, 4 at 1080p), so anything counted in cells means
// more pixels on a larger frame. The tuning constants of the other files say which unit
// they use; most are in frame pixels or in the heights of the object concerned.
struct Params {
    int width = 0;           // frame pixels
    int height = 0;          // frame pixels
    int factor = 1;          // frame pixels per grid cell, in both directions
    int grid_width = 0;      // cells
    int grid_height = 0;     // cells

    int min_contrast = 8;        // grey levels below which a difference never counts (param_a)
    int min_area_cells = 6;      // smallest blob kept, in grid cells (param_b, given in frame pixels)
    bool shadows = true;         // suppress soft cast shadows (param_c)
    bool shake = true;           // tolerate a one- or two-pixel camera shake (param_flag 0)
    int coast_frames = 10;       // frames a confirmed object is kept without a measurement (param_d)
    int absorb_frames = 1000000; // frames a still object stays before it becomes background (param_e)
};

// Returns false when the frame given to qv_init cannot be worked on.
bool make_params(const qv_config &config, Params &out);

// The grid cells a full-frame box touches, grown by margin cells, inside the grid.
cv::Rect grid_cells(const Params &params, const cv::Rect2f &box, int margin);

} // namespace qv
