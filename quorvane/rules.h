// Rule regions and the per-object state that turns a path into edge-triggered events.
#pragma once

#include <array>
#include <vector>

#include <opencv2/core.hpp>

#include "detector/quorvane.h"

namespace qv {

constexpr int kLoiterFrames = 300;
constexpr int kLeftObjectFrames = 150;
// A line crossing counts once the reference point lands beyond the dead band on the
// far side, or has stayed past the line, inside the band, this many frames in a row:
// one frame of a box stretched by a shadow or a passer-by is no step. The event comes
// on the frame the feet pass or at most two frames later.
constexpr int kAcrossFrames = 3;

struct Region {
    int kind = 0;
    std::vector<cv::Point2f> points;
};

// Whether a region kind is a line (one-way or two-way) rather than a polygon.
bool is_line(int kind);

// Checks a region array against a frame size; fills out only when every region is valid.
bool parse_regions(const qv_region *regions, int count, int width, int height, std::vector<Region> &out);

// What one object remembers about one region between frames.
struct RuleState {
    // Lines: a Schmitt trigger. The object is on `side` (-1 / +1, 0 before it was
    // first seen clear of the dead band). It is armed once it has been beyond the
    // band on that side; an armed object fires on passing the line itself, and
    // must clear the band on the new side before a way back can fire again, so a
    // wobble on the line fires at most once.
    int side = 0;
    bool armed = false;
    cv::Point2f last_firm;     // lines: last point beyond the band on `side`
    int across_frames = 0;     // lines: consecutive frames past the line from `side`
    bool inside = false;       // zones
    bool seen = false;         // zones: judged at least once
    int inside_frames = 0;     // loiter: frames of the current stay
    bool loiter_fired = false;
    bool left_fired = false;
};

// How the object moved this frame.
struct Step {
    cv::Point2f point;   // reference point: bottom centre of the box, full-frame pixels
    cv::Point2f velocity; // of the object's centre, full-frame pixels per frame
    float band = 2.0f;   // dead band in pixels against wobble
    int still_frames = 0; // consecutive frames the object has not moved
    bool at_border = false; // the box touches the frame's edge: the object may just have come in
};

// Advances state with this frame's point; returns the event code (0 for none).
// flag receives the region_flag value for this frame.
int judge(const Region &region, RuleState &state, const Step &step, uint8_t &flag);

} // namespace qv
