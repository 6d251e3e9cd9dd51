// Each object's own cast shadow, remembered relative to its feet.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "quorvane/params.h"
#include "quorvane/track.h"

namespace qv {

// The sun or a lamp stays where it is, so a walker's shadow keeps its place
// beside the feet for seconds. Where the ground turns too even for the shadow
// filter to judge, the shadow-dark cells in that place are taken out all the
// same, and the shadow does not stretch the walker's box.
class CastShadows {
public:
    void init(const Params &params);
    // Before the blobs are found: clears from fg the shadow-dark cells where the
    // confirmed objects' shadows are expected, but for those the filter judged
    // clothing inside another object's box. Returns the cells it cleared.
    const cv::Mat &clear(const std::vector<Track> &tracks, const cv::Mat &dark, const cv::Mat &clothing, cv::Mat &fg);
    // The predicted boxes (grid cells) of the confirmed objects that are no piece of a
    // shadow: all but those in the learnt shadow place of another, no higher than its
    // feet and lower than half its height.
    void bodies(const std::vector<Track> &tracks, std::vector<cv::Rect> &boxes) const;
    // After the tracks were corrected: learns where each object's shadow lies from
    // the cells taken out as shadow this frame (by the filter or by clear()),
    // while no other object is near enough to have cast them.
    void learn(std::vector<Track> &tracks, const cv::Mat &removed);
    // The side this scene's shadows lie to beside the feet (-1 left, +1 right), once
    // upright walkers agreed on it; 0 until then, or when the light casts them anywhere else.
    int sun_side() const;

private:
    cv::Rect cells(const cv::Rect2f &box) const;
    cv::Rect2f expected(const Track &t) const;
    void vote(const Track &t, const cv::Rect2f &rel);
    static bool rises(const Track &o, const Track &caster);
    static bool stands(const Track &o, const Track &caster);
    static bool inside(const std::vector<cv::Rect> &boxes, cv::Point cell);

    Params params_;
    cv::Mat cleared_; // CV_8U
    std::vector<cv::Rect> standing_; // boxes of others standing in the shadow now looked at, cells
    std::vector<cv::Rect> lying_;    // boxes of the other objects there that do not stand, cells
    float votes_[2] = {0, 0};        // places learnt lying to the left, to the right
};

} // namespace qv
