#include "quorvane/track.h"

#include <algorithm>

namespace qv {

void PointRing::push(qv_point p)
{
    if (size_ < QV_MAX_TRACK) {
        points_[(start_ + size_) % QV_MAX_TRACK] = p;
        ++size_;
    } else {
        points_[start_] = p;
        start_ = (start_ + 1) % QV_MAX_TRACK;
    }
}

int PointRing::copy_to(qv_point *out) const
{
    for (int i = 0; i < size_; ++i)
        out[i] = points_[(start_ + i) % QV_MAX_TRACK];
    return size_;
}

void SizeHistory::push(float w, float h)
{
    w_[next_] = w;
    h_[next_] = h;
    next_ = (next_ + 1) % kLength;
    size_ = std::min(size_ + 1, kLength);
}

float SizeHistory::median(const std::array<float, kLength> &v) const
{
    std::array<float, kLength> sorted = v;
    auto mid = sorted.begin() + size_ / 2;
    std::nth_element(sorted.begin(), mid, sorted.begin() + size_);
    return *mid;
}

void EventQueue::push(int code)
{
    if (size_ == static_cast<int>(codes_.size())) { // drop the oldest rather than the newest
        for (int i = 1; i < size_; ++i)
            codes_[i - 1] = codes_[i];
        --size_;
    }
    codes_[size_++] = code;
}

int EventQueue::pop()
{
    if (size_ == 0)
        return 0;
    const int code = codes_[0];
    for (int i = 1; i < size_; ++i)
        codes_[i - 1] = codes_[i];
    --size_;
    return code;
}

bool Track::standing() const
{
    if (!confirmed || h <= w || path.size() < kStandingFrames)
        return false;
    const qv_point now = path.latest(0);
    const float reach = kStandingSpread * h;
    for (int k = 1; k < kStandingFrames; ++k) {
        const qv_point p = path.latest(k);
        if (std::abs(p.x - now.x) > reach || std::abs(p.y - now.y) > reach)
            return false;
    }
    return true;
}

} // namespace qv
