#pragma once
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "detector/quorvane.h"

// Draws short ASCII text in yellow with a black outline, so it reads on dark
// and light footage alike, near anchor (its bottom-left), moved as needed to
// lie wholly inside the image. The text height follows the frame: about 28 px
// at 1080 rows, never under 12.
void draw_label(cv::Mat &image, const std::string &text, cv::Point anchor);

// Where a region's label goes: beside its first point.
cv::Point region_label_anchor(const qv_region &region);

// Draws every region thick, in yellow over a black edge, and numbers them from
// 1 at their first point: for picking coordinates on a still frame.
void draw_marked_regions(cv::Mat &image, const std::vector<qv_region> &regions);

// Draws faint grid lines every 100 px with their coordinates along the top and
// left edges every 200 px, for reading positions off a still frame.
void draw_coordinate_grid(cv::Mat &image);
