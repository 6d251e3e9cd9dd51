// Line crossings of the last few frames, to tell a piece of a walker from a walker.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace qv {

// A figure followed as two objects (a jacket apart from the legs below it, when the
// box of one lags or leads) crosses a line twice, one object a few frames after the
// other. One is a piece of the other when it is much shorter and its feet lie on the
// other's body; people crossing side by side or one behind the other are each nearly
// as tall as the other, or their feet are not on the other's body.
class RecentCrossings {
public:
    // Forgets crossings older than the window; call once per frame, with its number.
    void start_frame(long frame);
    // Whether a crossing of `region` onto `side` by an object with this box (full-frame
    // pixels) was already made within the window: by the object it is a piece of, or by
    // a piece of it (a lagging piece crosses after its owner, a leading one before).
    bool piece(int region, int side, const cv::Rect2f &box) const;
    void add(int region, int side, const cv::Rect2f &box);
    void clear() { crossed_.clear(); }

private:
    struct Crossed {
        long frame;
        int region;
        int side;
        cv::Rect2f box;
    };
    long frame_ = 0;
    std::vector<Crossed> crossed_;
};

} // namespace qv
