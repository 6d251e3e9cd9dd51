#include "quorvane/shadow_tails.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace qv {

namespace {
constexpr int kMinRows = 8;          // blobs shorter than this are left alone
constexpr float kBodyShare = 0.5f;   // the body's column is taken from this top share of the blob
constexpr float kColumnMargin = 0.2f; // of the column's width, either side, still under the body
constexpr float kDarkShare = 0.9f;   // a tail row is at least this share shadow-dark
constexpr float kMinTail = 0.1f;     // of the blob's height: shorter tails are the feet's own shade

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

} // namespace

void trim_shadow_tails(std::vector<Blob> &blobs, const cv::Mat &labels, const cv::Mat &fg, const cv::Mat &dark,
                       cv::Mat &tails)
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
        if (tail < kMinTail * r.height || cut >= b.area)
            continue;
        for (int y = end; y < r.y + r.height; ++y) {
            const int *l = labels.ptr<int>(y);
            const uint8_t *m = fg.ptr<uint8_t>(y);
            uint8_t *t = tails.ptr<uint8_t>(y);
            for (int x = r.x; x < r.x + r.width; ++x)
                if (l[x] == b.label && m[x] == 255)
                    t[x] = 255;
        }
        // What remains: its width again, from the rows kept.
        const auto [x0, x1] = columns(b, labels, fg, r.y, end);
        b.box = cv::Rect(x0, r.y, x1 - x0 + 1, end - r.y);
        b.area -= cut;
    }
}

} // namespace qv
