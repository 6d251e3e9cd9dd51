// Objects that are shadows: the far end of a walker's shadow, the shadow a walker
// left at the frame's edge on the way out, or the shadow of someone outside the frame.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "quorvane/params.h"
#include "quorvane/track.h"

namespace qv {

// A soft shadow fades towards its end; where its middle is too faint to be told from
// the ground, the end shows as a piece of its own and is followed as an object. It
// gives itself away by keeping its place beside the walker that casts it while the
// walker walks on, lying flat on the ground, darker than the ground all over. And
// someone walking out of the frame leaves the shadow at the edge after the body has
// gone, which the object's box then follows; someone standing or walking just outside
// lays theirs in over the edge the scene's shadows point away from. Once the scene's
// shadows are known to fall sideways, shade lying flat that was never seen upright is
// a shadow too, wherever it lies (its caster coming in, or lost in a group). Such an
// object is marked a shadow (Track::shadow_tip): it is neither reported nor judged
// against the rules, and holds its blob so that no other object takes it up. While
// the evidence gathers, it is held back (Track::shade_suspect).
class ShadowTips {
public:
    void init(const Params &params);
    // After the tracks were corrected. grid: this frame; mean: the background; fg: this
    // frame's foreground; dark: its cells at a shadow's darkness, and of those clothing
    // the ones the shadow filter judged to be no shadow; sun_side as CastShadows::sun_side().
    void judge(std::vector<Track> &tracks, const cv::Mat &grid, const cv::Mat &mean, const cv::Mat &fg,
               const cv::Mat &dark, const cv::Mat &clothing, int sun_side) const;

private:
    bool beside(const Track &tip, const Track &caster, int sun_side) const;
    bool lone(const Track &t, int sun_side) const;
    bool left_behind(const Track &t, int sun_side) const;
    float edge_margin() const; // frame pixels from the edge at which a piece is at it
    bool at_edge(const cv::Rect2f &box) const;
    bool shade(const Track &t, const cv::Mat &grid, const cv::Mat &mean, const cv::Mat &fg, const cv::Mat &dark,
               const cv::Mat &clothing, bool strict) const;
    static cv::Point2f place(const Track &tip, const Track &caster);

    Params params_;
};

} // namespace qv
