// Tuning of one detector, derived once from the creation parameters and the frame size.
#pragma once

#include <opencv2/core.hpp>

#include "detector/quorvane.h"

namespace qv {

struct Params {
    int width = 0;           // full frame
    int height = 0;
    int factor = 1;          // full-frame pixels per grid cell, in both directions
    int grid_width = 0;
    int grid_height = 0;

    int min_contrast = 8;        // grey levels below which a difference never counts
    int min_area_cells = 6;      // smallest blob kept, in grid cells
    bool shadows = true;         // suppress soft cast shadows
    bool shake = true;           // tolerate a one- or two-pixel camera shake
    int coast_frames = 10;       // frames a confirmed object is kept without a measurement
    int absorb_frames = 1000000; // frames a still object stays before it becomes background
};

// Returns false when the frame given to qv_init cannot be worked on.
bool make_params(const qv_config &config, Params &out);

// The grid cells a full-frame box touches, grown by margin cells, inside the grid.
cv::Rect grid_cells(const Params &params, const cv::Rect2f &box, int margin);

} // namespace qv
