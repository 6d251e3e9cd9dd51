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
// is cut right up to the legs.
void trim_shadow_tails(std::vector<Blob> &blobs, const cv::Mat &labels, const cv::Mat &fg, const cv::Mat &dark,
                       int sun_side, cv::Mat &tails);

} // namespace qv
