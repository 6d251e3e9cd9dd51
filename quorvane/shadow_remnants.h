// The leftovers of a shadow that was taken out: its thin tip and rim.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace qv {

// The thin tip and rim of a shadow have too little inside to be judged, and stay in
// the mask as pieces of their own once the rest is taken out. A piece goes with the
// shadow when it is nearly all shadow-dark, touches the cells taken out, holds nothing
// judged clothing and is no larger than the shadow taken out around it.
class ShadowRemnants {
public:
    void init(cv::Size grid);
    // All masks CV_8U on the whole grid; only `area` is looked at, and a piece is
    // judged by its part inside it. shadow: the cells taken out; dark: foreground cells
    // at a shadow's darkness; clothing: cells judged not shadow. Clears the remnants
    // from fg and marks them in `taken` when given. A piece reaching into one of
    // `bodies` (grid cells) is kept: the legs of someone dark are no shadow's tip.
    void drop(cv::Mat &fg, const cv::Mat &shadow, const cv::Mat &dark, const cv::Mat &clothing, cv::Rect area,
              const std::vector<cv::Rect> &bodies, cv::Mat *taken);

private:
    struct Piece {
        int area = 0;
        cv::Rect box;         // cells, relative to the area
        int dark = 0;         // shadow-dark cells
        bool touches = false; // next to the shadow taken out
        bool cloth = false;   // holds a cell judged not shadow
        bool drop = false;
    };

    cv::Mat near_;   // CV_8U: the shadow taken out, grown a little
    cv::Mat labels_; // CV_32S
    std::vector<Piece> pieces_;
};

} // namespace qv
