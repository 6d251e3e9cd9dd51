#pragma once
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "detector/quorvane.h"

// Checks a region on its own, before any file is touched: the kind (1-5), the
// point count for the kind, distinct line end points, and a polygon that
// encloses an area without crossing or touching itself. Returns "" or why not.
std::string check_region_shape(const qv_region &region);

// Checks that every point of every region lies inside a frame of the given
// size. Returns "" or one line naming the region (counted from 1), the point
// and the frame size.
std::string check_regions_in_frame(const std::vector<qv_region> &regions, cv::Size frame);

// The kind's name as the event log and the counters give it ("two_way_line").
const char *region_kind_name(int32_t kind);

// True for the two line kinds.
bool is_line_kind(int32_t kind);
