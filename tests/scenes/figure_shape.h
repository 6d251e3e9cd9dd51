// The drawn shape of a figure (person or bag) in one frame.
#ifndef QV_SCENES_FIGURE_SHAPE_H
#define QV_SCENES_FIGURE_SHAPE_H

#include "tests/scenes/scene.h"

namespace qvs {

// Paints the figure onto the canvas at its position in `frame`.
void draw_shape(cv::Mat &canvas, const Figure &f, int frame);
// The tight box of what draw_shape paints (unclipped, in frame coordinates).
cv::Rect shape_box(const Figure &f, int frame);

}  // namespace qvs

#endif
