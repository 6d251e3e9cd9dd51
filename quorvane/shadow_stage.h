// Cast shadows: everything done about them in one frame, in the order it happens.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "quorvane/background.h"
#include "quorvane/blobs.h"
#include "quorvane/cast_shadows.h"
#include "quorvane/params.h"
#include "quorvane/shadow_remnants.h"
#include "quorvane/shadow_tips.h"
#include "quorvane/track.h"

namespace qv {

// A shadow is no object, and must neither make one nor stretch its walker's box.
// Five steps take it out, each for the shadows the one before leaves:
//  1. The filter inside the background model (ShadowFilter, run by
//     Background::classify): shade through which the ground's blotches show, dimmed.
//  2. clear(): the shadow-dark cells where each walker's shadow was learnt to lie
//     (CastShadows), for shade over ground too even for the filter; then the thin tip
//     and rim left of a shadow so taken out (ShadowRemnants).
//  3. clear_feet(): the soft shade lying flat beside and between people's feet, no
//     darker than the filter's lightest shadow (shadow_tails); the blobs are found anew.
//  4. trim(): shade joined to a walker's blob, reaching out below or beside the body
//     (shadow_tails); on the side this scene's shadows were seen to fall, right up to the
//     legs, and shade reaching in from the frame's edge the shadows point away from goes whole.
//  5. learn(): where each walker's shadow lies, from all the cells taken out, and
//     from upright walkers alone, the side the scene's shadows fall to; then which
//     objects are shadows themselves (ShadowTips): the far end of a walker's shadow
//     keeping its place beside them, and the shadow left at the edge by a walker who
//     went out of the frame. Those are not reported.
// With shadow suppression off (param_c 0) none of this runs and removed() is empty.
class ShadowStage {
public:
    void init(const Params &params);
    // After the model classified the frame: removed() gets the filter's cells, and
    // the learnt shadow places are cleared from fg.
    void clear(const Background &model, const std::vector<Track> &tracks, cv::Mat &fg);
    // After the blobs were found: clears the shade at people's feet from fg; returns
    // whether any went, and the blobs must be found again.
    bool clear_feet(const std::vector<Blob> &blobs, const cv::Mat &labels, const cv::Mat &frame,
                    const Background &model, cv::Mat &fg) const;
    // After the blobs were found: cuts shadow off blob boxes; its cells join removed().
    void trim(std::vector<Blob> &blobs, const cv::Mat &labels, const cv::Mat &fg, const Background &model);
    // After the tracks were corrected. grid: this frame; fg: its foreground.
    void learn(std::vector<Track> &tracks, const cv::Mat &grid, const cv::Mat &fg, const Background &model);
    // Cells taken out as shadow this frame (CV_8U), or an empty matrix when off.
    const cv::Mat &removed() const { return on_ ? removed_ : off_; }

private:
    bool on_ = true;
    CastShadows memory_;
    ShadowTips tips_;
    ShadowRemnants remnants_;
    std::vector<cv::Rect> bodies_; // this frame's predicted boxes of the objects no piece of a shadow, grid cells
    cv::Mat removed_;
    cv::Mat off_;
};

} // namespace qv
