// Rule regions and the per-object state that turns a path into edge-triggered events.
#pragma once

#include <array>
#include <vector>

#include <opencv2/core.hpp>

#include "detector/quorvane.h"

namespace qv {

constexpr int kLoiterFrames = 300;
constexpr int kLeftObjectFrames = 150;
constexpr int kSideHoldFrames = 3; // a line crossing counts once the new side has held this long

struct Region {
    int kind = 0;
    std::vector<cv::Point2f> points;
};

// Checks a region array against a frame size; fills out only when every region is valid.
bool parse_regions(const qv_region *regions, int count, int width, int height, std::vector<Region> &out);

// What one object remembers about one region between frames.
struct RuleState {
    int side = 0;              // lines: -1 / +1 once firmly on a side, 0 before
    cv::Point2f last_firm;     // lines: last point firmly on `side`
    int other_side_frames = 0; // lines: consecutive firm frames on the other side
    bool inside = false;       // zones
    bool seen = false;         // zones: judged at least once
    int inside_frames = 0;     // loiter: frames of the current stay
    bool loiter_fired = false;
    bool left_fired = false;
};

// How the object moved this frame.
struct Step {
    cv::Point2f point;   // reference point: bottom centre of the box, full-frame pixels
    float band = 2.0f;   // dead band in pixels against wobble
    int still_frames = 0; // consecutive frames the object has not moved
    bool at_border = false; // the box touches the frame's edge: the object may just have come in
};

// Advances state with this frame's point; returns the event code (0 for none).
// flag receives the region_flag value for this frame.
int judge(const Region &region, RuleState &state, const Step &step, uint8_t &flag);

} // namespace qv
