#include "quorvane/person_size.h"

#include <algorithm>

namespace qv {

namespace {
constexpr double kKeep = 0.999;     // weight a sample keeps per later sample: the scene's last ~1000
constexpr double kKnown = 50;       // samples (weighted) before the sizes are trusted: a couple of walkers
constexpr double kRowSpread = 20;   // frame pixels of feet rows assumed besides those seen: few rows tell no slope
constexpr float kWidest = 1.4f;     // a sample this many times the width expected is two people
constexpr float kSmallest = 8;      // frame pixels: the least size predicted, where the line runs off
} // namespace

void PersonSize::learn(float feet_row, float width, float height)
{
    if (known() && !one_wide(feet_row, width))
        return;
    const auto add = [](double &sum, double v) { sum = kKeep * sum + v; };
    add(n_, 1);
    add(y_, feet_row);
    add(yy_, double(feet_row) * feet_row);
    add(w_, width);
    add(yw_, double(feet_row) * width);
    add(h_, height);
    add(yh_, double(feet_row) * height);
}

bool PersonSize::known() const
{
    return n_ >= kKnown;
}

cv::Size2f PersonSize::at(float feet_row) const
{
    // Least squares on the feet row, its slope held back while the rows seen are few.
    const double my = y_ / n_;
    const double var = yy_ / n_ - my * my + kRowSpread * kRowSpread;
    const auto line = [&](double sum, double cross) {
        const double mean = sum / n_;
        const double slope = (cross / n_ - my * mean) / var;
        return static_cast<float>(std::max<double>(kSmallest, mean + slope * (feet_row - my)));
    };
    return {line(w_, yw_), line(h_, yh_)};
}

bool PersonSize::one_wide(float feet_row, float width) const
{
    return width <= kWidest * at(feet_row).width;
}

} // namespace qv
