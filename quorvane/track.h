// One followed object: its motion filter, its history and its rule state.
#pragma once

#include <array>
#include <cstdint>

#include <opencv2/core.hpp>

#include "detector/quorvane.h"
#include "quorvane/look.h"
#include "quorvane/rules.h"

namespace qv {

// Latest reference points, oldest dropped first.
class PointRing {
public:
    void push(qv_point p);
    int size() const { return size_; }
    // Copies the points oldest first; returns how many.
    int copy_to(qv_point *out) const;
    // The k-th latest point (0 = newest); k < size().
    qv_point latest(int k) const { return points_[(start_ + size_ - 1 - k) % QV_MAX_TRACK]; }

private:
    std::array<qv_point, QV_MAX_TRACK> points_{};
    int start_ = 0;
    int size_ = 0;
};

// Events found for one region that are still to be reported, one per frame.
class EventQueue {
public:
    void push(int code);
    int pop();
    void clear() { size_ = 0; }
    bool empty() const { return size_ == 0; }

private:
    std::array<int, 4> codes_{};
    int size_ = 0;
};

// Sizes of the latest measurements; their median is the object's size, so a
// few frames of a shadow taken in or a part hidden do not move it.
class SizeHistory {
public:
    void push(float w, float h);
    bool full() const { return size_ == kLength; }
    float median_width() const { return median(w_); }
    float median_height() const { return median(h_); }

private:
    static constexpr int kLength = 15;
    float median(const std::array<float, kLength> &v) const;
    std::array<float, kLength> w_{}, h_{};
    int size_ = 0;
    int next_ = 0;
};

// An upright object whose reference point stayed this close, in its heights, over this
// many frames is standing: a walker covers most of a height in a second. Arms and
// turning shift the box, and its bottom centre with it, but not that far.
constexpr float kStandingSpread = 0.4f;
constexpr int kStandingFrames = 30;
// How far a standing person's limbs reach beside the centre of its box, in its heights:
// arms held out sideways, or a bend over a table.
constexpr float kArmReach = 0.6f;
// How far above its box they may show, in its heights: a box shrinks while its owner bends over.
constexpr float kLimbRise = 0.25f;

struct Track {
    int id = 0;              // given when confirmed; 0 before
    bool confirmed = false;
    bool child = false;      // born beside a confirmed object: something put down
    // Constant-velocity alpha-beta filter on the box centre, smoothed size; full-frame pixels.
    float cx = 0, cy = 0, vx = 0, vy = 0, w = 0, h = 0;
    float main_w = 0, main_h = 0; // smoothed size of the largest piece alone, bounds joined fragments
    SizeHistory sizes;
    int age = 0;             // frames since birth
    int hits = 0;            // frames with a measurement
    int misses = 0;          // consecutive frames without one
    cv::Point2f birth;       // first centre
    float travel = 0;        // farthest the centre got from birth
    cv::Point2f anchor;      // where the object has been still since
    int still = 0;           // consecutive frames within reach of anchor
    bool measured = false;   // got a measurement this frame
    cv::Rect2f seen;         // the latest measurement
    int stacked = 0;         // consecutive frames right above or below an older object
    bool gone = false;       // merged into another object: dropped at the end of this frame
    Look look;               // learnt while it had a blob of its own
    // Where the object's cast shadow lies, relative to its feet in units of its
    // height, and for how many more frames that is trusted.
    cv::Rect2f shadow_at;
    int shadow_life = 0;
    // A shadow followed as an object (see ShadowTips): not reported.
    bool shadow_tip = false;
    // Its last measurement passed for a moving shadow not yet proven one: it is not
    // shown unless it was shown before, and then not while unseen.
    bool shade_suspect = false;
    bool reported = false; // shown in some frame's result
    bool was_upright = false; // its sizes once showed it upright
    int tip_evidence = 0;     // frames it passed for a shadow, less those it did not
    int tip_caster = 0;       // the id of the object it passed for the shadow of
    cv::Point2f tip_place;    // where it lay beside the caster's feet then, in the caster's heights
    cv::Point2f tip_from;     // and where those feet were
    float tip_height = 0;     // its own shadow left at the edge: the lowest it was seen since
    PointRing path;
    std::array<RuleState, QV_MAX_REGIONS> rules{};
    std::array<EventQueue, QV_MAX_REGIONS> pending{};
    std::array<uint8_t, QV_MAX_REGIONS> flags{};

    cv::Rect2f box() const { return {cx - w / 2, cy - h / 2, w, h}; }
    float scale() const { return std::sqrt(std::max(w * h, 1.0f)); }
    // Upright, followed and in one place for a second.
    bool standing() const;
};

} // namespace qv
