#include "quorvane/look.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace qv {

namespace {
constexpr float kLearnRate = 0.1f;  // share of a new sample taken into a known look
constexpr float kGreyScale = 24.0f; // grey levels that make two bands look unalike
// Of the distance from where the object was expected, in its widths and heights,
// squared: a likeness found far off must be much better to count.
constexpr float kDistanceWeight = 0.5f;

int band_start(const cv::Rect &box, int b)
{
    return box.y + b * box.height / Look::kBands;
}
} // namespace

Look look_of(const cv::Mat &grid, const cv::Mat &fg, cv::Rect box)
{
    Look look;
    box &= cv::Rect(0, 0, grid.cols, grid.rows);
    for (int b = 0; b < Look::kBands; ++b) {
        const int y0 = band_start(box, b), y1 = band_start(box, b + 1);
        int cells = 0, all = 0;
        double sum = 0;
        for (int y = y0; y < y1; ++y) {
            const uint8_t *g = grid.ptr<uint8_t>(y), *m = fg.ptr<uint8_t>(y);
            for (int x = box.x; x < box.x + box.width; ++x, ++all)
                if (m[x] == 255) {
                    sum += g[x];
                    ++cells;
                }
        }
        look.fill[b] = all > 0 ? static_cast<float>(cells) / all : 0.0f;
        look.grey[b] = cells > 0 ? static_cast<float>(sum / cells) : 0.0f;
    }
    look.samples = 1;
    return look;
}

float difference(const Look &a, const Look &b)
{
    float sum = 0, weight = 0;
    for (int bnd = 0; bnd < Look::kBands; ++bnd) {
        const float w = std::min(a.fill[bnd], b.fill[bnd]);
        sum += w * std::abs(a.grey[bnd] - b.grey[bnd]) / kGreyScale;
        weight += w;
    }
    return weight > 0 ? sum / weight : 0.0f;
}

void learn_look(Look &known, const Look &seen)
{
    if (known.samples == 0) {
        known = seen;
        return;
    }
    for (int b = 0; b < Look::kBands; ++b) {
        // A band seen empty says nothing of its grey.
        if (seen.fill[b] > 0)
            known.grey[b] = known.fill[b] > 0 ? known.grey[b] + kLearnRate * (seen.grey[b] - known.grey[b])
                                              : seen.grey[b];
        known.fill[b] += kLearnRate * (seen.fill[b] - known.fill[b]);
    }
    ++known.samples;
}

void LookFinder::prepare(const cv::Mat &grid, const cv::Mat &fg, const cv::Mat &labels, int label, cv::Rect blob_box)
{
    area_ = blob_box;
    grey_sum_.create(area_.height + 1, area_.width + 1, CV_64F);
    count_sum_.create(area_.height + 1, area_.width + 1, CV_32S);
    grey_sum_.row(0).setTo(0);
    count_sum_.row(0).setTo(0);
    for (int y = 0; y < area_.height; ++y) {
        const uint8_t *g = grid.ptr<uint8_t>(area_.y + y) + area_.x;
        const uint8_t *m = fg.ptr<uint8_t>(area_.y + y) + area_.x;
        const int *l = labels.ptr<int>(area_.y + y) + area_.x;
        const double *gs_up = grey_sum_.ptr<double>(y);
        const int *cs_up = count_sum_.ptr<int>(y);
        double *gs = grey_sum_.ptr<double>(y + 1);
        int *cs = count_sum_.ptr<int>(y + 1);
        gs[0] = 0;
        cs[0] = 0;
        double row_grey = 0;
        int row_cells = 0;
        for (int x = 0; x < area_.width; ++x) {
            if (m[x] == 255 && l[x] == label) {
                row_grey += g[x];
                ++row_cells;
            }
            gs[x + 1] = gs_up[x + 1] + row_grey;
            cs[x + 1] = cs_up[x + 1] + row_cells;
        }
    }
}

void LookFinder::sums(int x0, int y0, int x1, int y1, double &grey, int &cells) const
{
    x0 = std::clamp(x0 - area_.x, 0, area_.width);
    x1 = std::clamp(x1 - area_.x, 0, area_.width);
    y0 = std::clamp(y0 - area_.y, 0, area_.height);
    y1 = std::clamp(y1 - area_.y, 0, area_.height);
    if (x1 <= x0 || y1 <= y0) {
        grey = 0;
        cells = 0;
        return;
    }
    grey = grey_sum_.at<double>(y1, x1) - grey_sum_.at<double>(y0, x1) - grey_sum_.at<double>(y1, x0) +
           grey_sum_.at<double>(y0, x0);
    cells = count_sum_.at<int>(y1, x1) - count_sum_.at<int>(y0, x1) - count_sum_.at<int>(y1, x0) +
            count_sum_.at<int>(y0, x0);
}

// Each band the object fills costs what it misses there: an empty band all of it, a
// band of another grey (someone else) as much, a band of its own grey nothing.
float LookFinder::cost_at(const Look &look, cv::Rect box) const
{
    float cost = 0, weight = 0;
    for (int b = 0; b < Look::kBands; ++b) {
        const int y0 = band_start(box, b), y1 = band_start(box, b + 1);
        if (y1 <= y0 || look.fill[b] <= 0)
            continue;
        double grey;
        int cells;
        sums(box.x, y0, box.x + box.width, y1, grey, cells);
        const float fill = std::min(1.0f, static_cast<float>(cells) / ((y1 - y0) * box.width));
        float unlike = 1.0f;
        if (cells > 0) {
            const float d = (static_cast<float>(grey / cells) - look.grey[b]) / kGreyScale;
            unlike = std::min(1.0f, d * d);
        }
        // Fuller than the object is: the rest is someone else's, and says nothing.
        const float seen = std::min(fill, look.fill[b]);
        cost += look.fill[b] * (seen / look.fill[b] * unlike + (1 - seen / look.fill[b]));
        weight += look.fill[b];
    }
    return weight > 0 ? cost / weight : 1.0f;
}

cv::Rect LookFinder::find(const Look &look, cv::Rect around, int reach_x, int reach_y, float &cost) const
{
    cv::Rect best = around;
    float best_total = 1e9f;
    cost = 1.0f;
    const float w = std::max(1, around.width), h = std::max(1, around.height);
    for (int dy = -reach_y; dy <= reach_y; ++dy)
        for (int dx = -reach_x; dx <= reach_x; ++dx) {
            const cv::Rect box(around.x + dx, around.y + dy, around.width, around.height);
            const float like = cost_at(look, box);
            const float total = like + kDistanceWeight * ((dx / w) * (dx / w) + (dy / h) * (dy / h));
            if (total < best_total) {
                best_total = total;
                cost = like;
                best = box;
            }
        }
    return best;
}

} // namespace qv
