// The part of a blob that is its object's shadow reaching out below it or beside its feet.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "quorvane/blobs.h"

namespace qv {

// Where the ground is too even for the shadow filter, a walker's shadow stays in
// the mask and joins the walker's blob. Its tip is all shadow-dark and leans out
// of the column the body stands in; legs, however dark, stay under the body. A low
// sun lays it out flat beside the feet instead, where the legs stand up out of it.
// Cuts such a tail, below or beside, off each blob's box and area and marks its
// cells in `tails`, so the shadow's place can be learnt from them. Beside the feet
// only for blobs whole in the frame (of one cut by its edge the upper part is unknown)
// whose upper part stands, taller than wide: a vehicle's does not. On `sun_side` (-1
// left, +1 right, 0 not known), where this scene's shadows were seen to fall, the shade
// is cut right up to the legs, also of a blob cut by the frame's edge if its feet are in.
void trim_shadow_tails(std::vector<Blob> &blobs, const cv::Mat &labels, const cv::Mat &fg, const cv::Mat &dark,
                       int sun_side, cv::Mat &tails);

// Soft shade around the feet (the body keeping skylight off the ground next to it) dims
// an even floor too little for the shadow filter and lies flat beside and between the
// feet, widening boxes and joining people who walk near each other into one blob. A
// column of a blob that holds nothing but a thin strip in its lower part, no darker than
// such shade, carries no one's body: those cells leave fg. Columns holding shadow-dark
// cells (`dark`) are left to trim_shadow_tails: parts of a cast shadow go with it whole.
// frame and ground: this frame and the background model, 8-bit. Returns whether any went.
bool clear_shade_at_feet(const std::vector<Blob> &blobs, const cv::Mat &labels, const cv::Mat &frame,
                         const cv::Mat &ground, const cv::Mat &dark, cv::Mat &fg);

// Shade that reaches into the frame from the edge this scene's shadows point away from
// (`sun_side` as above) is the shadow of someone not yet in, or just gone, and no object:
// a blob there that lies flat, is nearly all shadow-dark and holds nothing the shadow
// filter judged clothing leaves `blobs`, and its cells join `removed`. The edge cuts a
// shadow short, so a blob also lies flat when it is low beside one of `bodies` (grid
// cells; the predicted boxes of the objects no piece of a shadow) it meets: the one leaving.
void drop_shadows_from_outside(std::vector<Blob> &blobs, const cv::Mat &labels, const cv::Mat &fg,
                               const cv::Mat &dark, const cv::Mat &clothing, int sun_side,
                               const std::vector<cv::Rect> &bodies, cv::Mat &removed);

} // namespace qv
