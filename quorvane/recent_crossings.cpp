#include "quorvane/recent_crossings.h"

#include <algorithm>

namespace qv {

namespace {
constexpr long kWindow = 5;          // frames a crossing is remembered: a lagging piece crosses soon after
constexpr float kPieceHeight = 0.6f; // a piece is at most this share of the other's height
constexpr float kBeside = 0.5f;      // its feet within this share of the other's width beside its box
} // namespace

void RecentCrossings::start_frame(long frame)
{
    frame_ = frame;
    crossed_.erase(std::remove_if(crossed_.begin(), crossed_.end(),
                                  [&](const Crossed &c) { return frame_ - c.frame > kWindow; }),
                   crossed_.end());
}

namespace {
// Whether `part`, no taller than the share allowed, has its feet on `whole`'s body.
bool piece_of(const cv::Rect2f &part, const cv::Rect2f &whole)
{
    if (part.height > kPieceHeight * whole.height)
        return false;
    const cv::Point2f foot(part.x + part.width / 2, part.y + part.height);
    const float reach = kBeside * whole.width;
    return foot.x >= whole.x - reach && foot.x <= whole.x + whole.width + reach && foot.y >= whole.y &&
           foot.y <= whole.y + whole.height;
}
} // namespace

bool RecentCrossings::piece(int region, int side, const cv::Rect2f &box) const
{
    for (const Crossed &c : crossed_)
        if (c.region == region && c.side == side && (piece_of(box, c.box) || piece_of(c.box, box)))
            return true;
    return false;
}

void RecentCrossings::add(int region, int side, const cv::Rect2f &box)
{
    crossed_.push_back({frame_, region, side, box});
}

} // namespace qv
