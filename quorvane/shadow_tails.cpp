#include "quorvane/shadow_tails.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

namespace qv {

namespace {
// Lengths are in grid cells or shares of the blob's own size.
constexpr int kMinRows = 8;          // grid cells; blobs shorter than this are left alone
constexpr float kBodyShare = 0.5f;   // the body's column is taken from this top share of the blob
constexpr float kColumnMargin = 0.2f; // of the column's width, either side, still under the body
constexpr float kDarkShare = 0.9f;   // a tail row is at least this share shadow-dark
constexpr float kMinTail = 0.1f;     // of the blob's height: shorter tails are the feet's own shade
// A low sun lays the shadow out sideways from the feet, beside the legs rather than below them.
constexpr float kMinSide = 0.08f;    // of the blob's height: narrower shade beside the legs is a foot's own
constexpr float kSideDark = 0.8f;    // share shadow-dark of it: a soft rim dims the ground less than the filter's floor
constexpr float kSideFlat = 0.5f;    // and it reaches out at least this share of the rows it spans
constexpr float kSideSpan = 0.3f;    // of the blob's height: each of its columns spans at most this many rows
constexpr int kRootGap = 1;          // grid cells: narrower, it is a shadow's root when shade taken out lies this near beyond
// Soft shade at the feet.
constexpr float kFeetBand = 0.6f;   // of the blob's height from its top: the shade lies below this
constexpr float kFeetSpan = 0.2f;   // of the blob's height: each of its columns spans at most this many rows
constexpr float kShadeFloor = 0.7f; // it keeps at least this share of the ground's light, and no more than all
constexpr float kShadeShare = 0.8f; // share of a column's cells so dimmed
// Shade reaching in from the frame's edge.
constexpr float kPieceFlat = 0.5f;   // its height over its breadth at most: it lies on the ground
constexpr float kPieceDark = 0.9f;   // share of it shadow-dark at least
// Grid cells (a cell is `factor` frame pixels a side): a blob this near the frame's edge
// may be cut by it, the mask's cleaning eating a little.
constexpr int kEdge = 3;

// The columns the blob's strong cells take up over rows [y0, y1) of its box:
// {first, last}, or last < first when there are none.
std::pair<int, int> columns(const Blob &b, const cv::Mat &labels, const cv::Mat &fg, int y0, int y1)
{
    const cv::Rect &r = b.box;
    int c0 = r.x + r.width, c1 = -1;
    for (int y = y0; y < y1; ++y) {
        const int *l = labels.ptr<int>(y);
        const uint8_t *m = fg.ptr<uint8_t>(y);
        for (int x = r.x; x < r.x + r.width; ++x)
            if (l[x] == b.label && m[x] == 255) {
                c0 = std::min(c0, x);
                c1 = std::max(c1, x);
            }
    }
    return {c0, c1};
}

// The blob's strong cells in rows [y0, y1) and columns [x0, x1).
struct Patch {
    int n = 0;    // cells
    int dark = 0; // of them shadow-dark
    int cloth = 0; // of those judged clothing by the shadow filter (when asked)
    int x0 = INT32_MAX, y0 = INT32_MAX, x1 = -1, y1 = -1; // their extent, inclusive
};

Patch patch(const Blob &b, const cv::Mat &labels, const cv::Mat &fg, const cv::Mat &dark, int y0, int y1, int x0,
            int x1, const cv::Mat *clothing = nullptr)
{
    Patch p;
    for (int y = y0; y < y1; ++y) {
        const int *l = labels.ptr<int>(y);
        const uint8_t *m = fg.ptr<uint8_t>(y), *d = dark.ptr<uint8_t>(y);
        const uint8_t *k = clothing ? clothing->ptr<uint8_t>(y) : nullptr;
        for (int x = x0; x < x1; ++x)
            if (l[x] == b.label && m[x] == 255) {
                ++p.n;
                p.dark += d[x] != 0;
                p.cloth += k && d[x] && k[x]; // clothing is stale away from the dark cells
                p.x0 = std::min(p.x0, x), p.y0 = std::min(p.y0, y), p.x1 = std::max(p.x1, x), p.y1 = y;
            }
    }
    return p;
}

// Marks the blob's strong cells in rows [y0, y1) and columns [x0, x1) in `tails`.
void mark(const Blob &b, const cv::Mat &labels, const cv::Mat &fg, int y0, int y1, int x0, int x1, cv::Mat &tails)
{
    for (int y = y0; y < y1; ++y) {
        const int *l = labels.ptr<int>(y);
        const uint8_t *m = fg.ptr<uint8_t>(y);
        uint8_t *t = tails.ptr<uint8_t>(y);
        for (int x = x0; x < x1; ++x)
            if (l[x] == b.label && m[x] == 255)
                t[x] = 255;
    }
}

// Cuts off the side of the lower rows [y0, y1) that lies beyond column edge `edge`
// (dir -1: left of it, +1: right of it) when it is nearly all shadow-dark, lies flat and
// reaches out at least `reach` cells. Marks the cells in `tails`; returns how many went.
int cut_side(const Blob &b, const cv::Mat &labels, const cv::Mat &fg, const cv::Mat &dark, int y0, int y1, int edge,
             int dir, float reach, cv::Mat &tails)
{
    const cv::Rect &r = b.box;
    const int from = dir < 0 ? r.x : edge + 1, to = dir < 0 ? edge : r.x + r.width;
    const Patch p = patch(b, labels, fg, dark, y0, y1, from, to);
    const int farthest = dir < 0 ? edge - p.x0 : p.x1 - edge;
    // Shade lies along the ground; a leg or an arm stepping out of the column stands up.
    if (p.n == 0 || p.dark < kSideDark * p.n || farthest < reach || farthest < kSideFlat * (p.y1 - p.y0 + 1))
        return 0;
    mark(b, labels, fg, y0, y1, from, to, tails);
    return p.n;
}

// The rows [top, bottom] of the blob's strong cells in column x over rows [y0, y1),
// or bottom < top when there are none.
std::pair<int, int> rows(const Blob &b, const cv::Mat &labels, const cv::Mat &fg, int x, int y0, int y1)
{
    int top = y1, bottom = -1;
    for (int y = y0; y < y1; ++y)
        if (labels.ptr<int>(y)[x] == b.label && fg.ptr<uint8_t>(y)[x] == 255) {
            top = std::min(top, y);
            bottom = y;
        }
    return {top, bottom};
}

// On the side the scene's shadows are known to fall: cuts off the shade lying flat
// beside the feet, in the lower rows [y0, y1), beyond column `edge` (dir -1: left of
// it, +1: right of it), up to the legs. Shade lies along the ground: each of its
// columns is short. A leg rises from the foot towards the body. So columns are taken
// from the blob's outer side inwards while they stay short, and stop at the first
// that rises. What they hold goes when it is nearly all shadow-dark and reaches out at
// least `reach` cells (a shoe alone does not), or less where the shade already taken out
// (in `tails`) goes on right beyond it. Marks the cells in `tails`; returns how many went.
int cut_flat_columns(const Blob &b, const cv::Mat &labels, const cv::Mat &fg, const cv::Mat &dark, int y0, int y1,
                     int edge, int dir, float reach, cv::Mat &tails)
{
    const cv::Rect &r = b.box;
    const int outer = dir < 0 ? r.x : r.x + r.width - 1;
    const float flat = kSideSpan * static_cast<float>(r.height);
    int inner = outer + dir, farthest = -1;
    for (int x = outer; dir * (x - edge) > 0; x -= dir) {
        const auto [top, bottom] = rows(b, labels, fg, x, y0, y1);
        if (bottom < top)
            continue; // a gap in the shade
        if (static_cast<float>(bottom - top + 1) > flat)
            break;
        inner = x;
        farthest = std::max(farthest, dir * (x - edge));
    }
    if (farthest < 0)
        return 0;
    const int from = std::min(inner, outer), to = std::max(inner, outer) + 1;
    const Patch p = patch(b, labels, fg, dark, y0, y1, from, to);
    if (p.n == 0 || p.dark < kSideDark * p.n)
        return 0;
    if (farthest < reach) {
        // Shorter, it is still the root of a shadow when the shade already taken out
        // goes on right beyond it (its place was remembered); a shoe alone does not.
        const cv::Rect beyond = cv::Rect(dir > 0 ? outer + 1 : outer - kRootGap, p.y0, kRootGap, p.y1 - p.y0 + 1) &
                                cv::Rect(0, 0, tails.cols, tails.rows);
        if (beyond.empty() || cv::countNonZero(tails(beyond)) < p.y1 - p.y0 + 1)
            return 0;
    }
    mark(b, labels, fg, y0, y1, from, to, tails);
    return p.n;
}

// The extent of the blob's strong cells that are not in `tails`.
cv::Rect kept_extent(const Blob &b, const cv::Mat &labels, const cv::Mat &fg, const cv::Mat &tails)
{
    const cv::Rect &r = b.box;
    int x0 = INT32_MAX, y0 = INT32_MAX, x1 = -1, y1 = -1;
    for (int y = r.y; y < r.y + r.height; ++y) {
        const int *l = labels.ptr<int>(y);
        const uint8_t *m = fg.ptr<uint8_t>(y), *t = tails.ptr<uint8_t>(y);
        for (int x = r.x; x < r.x + r.width; ++x)
            if (l[x] == b.label && m[x] == 255 && t[x] == 0) {
                x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
            }
    }
    return x1 < 0 ? r : cv::Rect(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
}

} // namespace

void trim_shadow_tails(std::vector<Blob> &blobs, const cv::Mat &labels, const cv::Mat &fg, const cv::Mat &dark,
                       int sun_side, cv::Mat &tails)
{
    for (Blob &b : blobs) {
        const cv::Rect &r = b.box;
        if (r.height < kMinRows)
            continue;
        // The column the upper part stands in.
        const int body_end = r.y + static_cast<int>(kBodyShare * r.height);
        const auto [c0, c1] = columns(b, labels, fg, r.y, body_end);
        if (c1 < c0)
            continue;
        const float margin = kColumnMargin * static_cast<float>(c1 - c0 + 1);
        const float lo = static_cast<float>(c0) - margin, hi = static_cast<float>(c1) + margin;
        // From the bottom up, rows all shadow-dark whose middle lies outside the column.
        int end = r.y + r.height, cut = 0;
        for (int y = end - 1; y >= body_end; --y) {
            const int *l = labels.ptr<int>(y);
            const uint8_t *m = fg.ptr<uint8_t>(y), *d = dark.ptr<uint8_t>(y);
            int n = 0, n_dark = 0, sum_x = 0;
            for (int x = r.x; x < r.x + r.width; ++x)
                if (l[x] == b.label && m[x] == 255) {
                    ++n;
                    n_dark += d[x] != 0;
                    sum_x += x;
                }
            if (n == 0) {
                end = y;
                continue;
            }
            const float mid = static_cast<float>(sum_x) / static_cast<float>(n);
            if (n_dark < kDarkShare * n || (mid >= lo && mid <= hi))
                break;
            end = y;
            cut += n;
        }
        const int tail = r.y + r.height - end;
        if (tail < kMinTail * r.height || cut >= b.area) {
            end = r.y + r.height;
            cut = 0;
        } else {
            mark(b, labels, fg, end, r.y + r.height, r.x, r.x + r.width, tails);
        }
        // Shade beside the legs, either side, in the rows below the upper part; only of a
        // blob whose sides and feet are in the frame, as of one cut by a side edge the
        // body's column is unknown (one coming in at the top still stands in its column),
        // and only below an upper part that stands (taller than wide): not of a vehicle.
        const bool stands = c1 - c0 + 1 < body_end - r.y, feet_in = r.y + r.height + kEdge < labels.rows;
        const bool sides_in = stands && feet_in && r.x > kEdge && r.x + r.width + kEdge < labels.cols;
        const float reach = kMinSide * static_cast<float>(r.height);
        // On the side the shadows fall (once known), the shade goes right up to the legs.
        // There a blob cut by the frame's edge counts too, as long as its feet are in:
        // whatever is missing of it, its legs still rise out of the shade.
        // (Structured bindings cannot be captured before C++20: copies.)
        const int left_leg = c0, right_leg = c1;
        const auto cut_beside = [&](int dir) {
            if (dir == sun_side)
                return stands && feet_in ? cut_flat_columns(b, labels, fg, dark, body_end, end,
                                                            dir < 0 ? left_leg : right_leg, dir, reach, tails)
                                         : 0;
            const int edge = static_cast<int>(dir < 0 ? std::floor(lo) : std::ceil(hi));
            return sides_in ? cut_side(b, labels, fg, dark, body_end, end, edge, dir, reach, tails) : 0;
        };
        const int side = cut_beside(-1) + cut_beside(1);
        if (cut == 0 && side == 0)
            continue;
        if (cut + side >= b.area) // nothing but shade: no figure to cut it from
            continue;
        b.box = kept_extent(b, labels, fg, tails);
        b.area -= cut + side;
    }
}

bool clear_shade_at_feet(const std::vector<Blob> &blobs, const cv::Mat &labels, const cv::Mat &frame,
                         const cv::Mat &ground, const cv::Mat &dark, cv::Mat &fg)
{
    bool any = false;
    for (const Blob &b : blobs) {
        const cv::Rect &r = b.box;
        if (r.height < kMinRows)
            continue;
        const int band = r.y + static_cast<int>(kFeetBand * static_cast<float>(r.height));
        const int span = std::max(2, static_cast<int>(kFeetSpan * static_cast<float>(r.height)));
        for (int x = r.x; x < r.x + r.width; ++x) {
            int top = -1, bottom = -1, n = 0, shade = 0, deep = 0;
            for (int y = r.y; y < r.y + r.height; ++y) {
                if (labels.ptr<int>(y)[x] != b.label || fg.ptr<uint8_t>(y)[x] == 0)
                    continue;
                if (top < 0)
                    top = y;
                bottom = y;
                ++n;
                const int f = frame.ptr<uint8_t>(y)[x], g = ground.ptr<uint8_t>(y)[x];
                shade += f <= g && f >= kShadeFloor * g;
                deep += dark.ptr<uint8_t>(y)[x] != 0;
            }
            if (n == 0 || deep > 0 || top < band || bottom - top + 1 > span || shade < kShadeShare * n)
                continue;
            for (int y = top; y <= bottom; ++y)
                if (labels.ptr<int>(y)[x] == b.label)
                    fg.ptr<uint8_t>(y)[x] = 0;
            any = true;
        }
    }
    return any;
}

void drop_shadows_from_outside(std::vector<Blob> &blobs, const cv::Mat &labels, const cv::Mat &fg,
                               const cv::Mat &dark, const cv::Mat &clothing, int sun_side,
                               const std::vector<cv::Rect> &bodies, cv::Mat &removed)
{
    if (sun_side == 0)
        return;
    size_t kept = 0;
    for (const Blob &b : blobs) {
        const cv::Rect &r = b.box;
        const bool from_edge = sun_side > 0 ? r.x <= kEdge : r.x + r.width + kEdge >= labels.cols;
        bool flat = r.height <= kPieceFlat * r.width;
        for (const cv::Rect &s : bodies) // cut short by the edge, but low beside the one leaving
            flat = flat || ((s & r).area() > 0 && r.height <= kPieceFlat * s.height);
        bool shade = false;
        if (from_edge && flat) {
            const Patch p = patch(b, labels, fg, dark, r.y, r.y + r.height, r.x, r.x + r.width, &clothing);
            shade = p.n > 0 && p.cloth == 0 && p.dark >= kPieceDark * p.n;
        }
        if (shade)
            mark(b, labels, fg, r.y, r.y + r.height, r.x, r.x + r.width, removed);
        else
            blobs[kept++] = b;
    }
    blobs.resize(kept);
}

} // namespace qv
