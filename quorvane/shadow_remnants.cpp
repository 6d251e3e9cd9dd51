#include "quorvane/shadow_remnants.h"

#include <cstdint>

#include <opencv2/imgproc.hpp>

namespace qv {

namespace {
// Grid cells (a cell is `factor` frame pixels a side; the tip of a shadow is a few cells at any size).
constexpr int kTouch = 2; // a piece this near the shadow touches it
constexpr int kReach = 4; // around a piece, where its shadow is counted
constexpr float kDark = 0.9f; // share of shadow-dark cells in a piece that goes with a shadow
constexpr int kIsolated = cv::BORDER_CONSTANT | cv::BORDER_ISOLATED;
} // namespace

void ShadowRemnants::init(cv::Size grid)
{
    near_ = cv::Mat::zeros(grid, CV_8U);
    labels_ = cv::Mat::zeros(grid, CV_32S);
    pieces_.reserve(64);
}

void ShadowRemnants::drop(cv::Mat &fg_all, const cv::Mat &shadow_all, const cv::Mat &dark_all,
                          const cv::Mat &clothing_all, cv::Rect area, const std::vector<cv::Rect> &bodies,
                          cv::Mat *taken)
{
    area &= cv::Rect(0, 0, fg_all.cols, fg_all.rows);
    if (area.empty())
        return;
    cv::Mat fg = fg_all(area);
    const cv::Mat shadow = shadow_all(area), dark = dark_all(area), cloth = clothing_all(area);
    if (cv::countNonZero(shadow) == 0)
        return;
    cv::Mat near = near_(area);
    cv::dilate(shadow, near, cv::Mat(), cv::Point(-1, -1), kTouch, kIsolated, cv::Scalar(0));
    cv::Mat labels = labels_(area);
    const int n = cv::connectedComponents(fg, labels, 8, CV_32S);
    if (n <= 1)
        return;
    pieces_.assign(static_cast<size_t>(n), Piece{});
    for (int y = 0; y < fg.rows; ++y) {
        const int *l = labels.ptr<int>(y);
        const uint8_t *d = dark.ptr<uint8_t>(y), *t = near.ptr<uint8_t>(y), *k = cloth.ptr<uint8_t>(y);
        for (int x = 0; x < fg.cols; ++x) {
            if (l[x] == 0)
                continue;
            Piece &p = pieces_[l[x]];
            if (p.area == 0)
                p.box = cv::Rect(x, y, 1, 1);
            else
                p.box |= cv::Rect(x, y, 1, 1);
            ++p.area;
            p.dark += d[x] != 0;
            p.touches = p.touches || t[x] != 0;
            p.cloth = p.cloth || k[x] != 0;
        }
    }
    pieces_[0].area = 0;
    bool any = false;
    for (Piece &p : pieces_) {
        p.drop = p.area > 0 && p.touches && !p.cloth && p.dark >= kDark * p.area;
        for (const cv::Rect &b : bodies)
            p.drop = p.drop && ((p.box + area.tl()) & b).empty();
        if (p.drop) { // a leftover is smaller than the shadow it was left by
            const cv::Rect around = (p.box + cv::Size(2 * kReach, 2 * kReach) - cv::Point(kReach, kReach)) &
                                    cv::Rect(0, 0, fg.cols, fg.rows);
            p.drop = p.area <= cv::countNonZero(shadow(around));
        }
        any = any || p.drop;
    }
    if (!any)
        return;
    for (int y = 0; y < fg.rows; ++y) {
        const int *l = labels.ptr<int>(y);
        uint8_t *m = fg.ptr<uint8_t>(y);
        uint8_t *out = taken ? taken->ptr<uint8_t>(area.y + y) + area.x : nullptr;
        for (int x = 0; x < fg.cols; ++x)
            if (pieces_[l[x]].drop) {
                m[x] = 0;
                if (out)
                    out[x] = 255;
            }
    }
}

} // namespace qv
