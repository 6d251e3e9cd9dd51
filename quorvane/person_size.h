// How big one person shows at each row of the picture.
#pragma once

#include <opencv2/core.hpp>

namespace qv {

// On a camera looking down at flat ground a person's box grows nearly linearly with
// the row of their feet. Learnt from people followed on their own, it tells a blob
// of two people from one wide person where shape alone cannot (a coat and a bag, the
// shade at their feet, make each of two people look wider than an upright figure).
// Sizes and rows in full-frame pixels.
class PersonSize {
public:
    void learn(float feet_row, float width, float height);
    bool known() const;
    // One person's box with their feet at this row; known() first.
    cv::Size2f at(float feet_row) const;
    // Whether a box this wide at its row is no more than one person: samples wider
    // are two people taken for one.
    bool one_wide(float feet_row, float width) const;

private:
    double n_ = 0, y_ = 0, yy_ = 0, w_ = 0, yw_ = 0, h_ = 0, yh_ = 0; // decayed sums
};

} // namespace qv
