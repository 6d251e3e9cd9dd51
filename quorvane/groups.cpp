#include "quorvane/groups.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace qv {

namespace {
// A blob narrower than this share of its height is one upright person (arms and
// a long stride reach about 0.45 heights).
constexpr float kWideShare = 0.55f;
// Heads lie about this share of the height apart when people walk shoulder to
// shoulder; a head further off belongs to someone else.
constexpr float kShoulderReach = 0.35f;
// Between two heads the outline dips at least this share of the height: a head
// stands about 0.15 heights over the shoulders, less for the lower of two.
constexpr float kDip = 0.08f;
// Each person cut out is at least this share of the height wide ...
constexpr float kNarrowest = 0.25f;
// ... and at least this many widths tall: upright. Vehicles are not cut.
constexpr float kUpright = 2.5f;
// Where one person's size at the blob's row is known, a piece no wider than this many
// of their widths and at least this share of their height is one person, upright or
// not (a coat, a bag, an arm out, the shade at the feet) ...
constexpr float kPersonWide = 1.3f;
constexpr float kPersonTall = 0.75f;
// ... in a blob at least this many of their widths wide: one person is not cut so.
constexpr float kPeopleWide = 1.5f;
// Until it is known, pieces of a blob at least as wide as it is tall (no one person is)
// need only be this many widths tall: people walking together carry things and swing
// their arms. Two people side by side are about 1.5 widths tall.
constexpr float kUprightWide = 1.8f;
// Each person is a whole figure: at least this share of the blob's height, its head
// no further than this share below the blob's top (a shadow or a bag beside
// someone is neither).
constexpr float kWhole = 0.7f;
constexpr float kHeadLevel = 0.15f;
constexpr int kMinCells = 6;  // grid cells across; less is too coarse to show heads
constexpr int kMaxPeople = 5; // cuts in one blob
} // namespace

// The outline's top per column; a cut wherever it dips well below a head on
// either side within a shoulder's reach, at the deepest point of each dip.
bool GroupCutter::split(const Blob &blob, const cv::Mat &labels, const cv::Mat &fg, cv::Size2f person)
{
    cuts_.clear();
    const cv::Rect &r = blob.box;
    if (blob.piece || r.width < kMinCells || r.width < kWideShare * r.height)
        return false;
    top_.assign(static_cast<size_t>(r.width), r.height);
    int unseen = r.width;
    for (int y = 0; y < r.height && unseen > 0; ++y) {
        const int *row = labels.ptr<int>(r.y + y) + r.x;
        const uint8_t *mask = fg.ptr<uint8_t>(r.y + y) + r.x;
        for (int x = 0; x < r.width; ++x)
            if (top_[x] == r.height && row[x] == blob.label && mask[x] == 255) {
                top_[x] = y;
                --unseen;
            }
    }
    const int reach = std::max(2, static_cast<int>(std::lround(kShoulderReach * r.height)));
    const int dip = std::max(2, static_cast<int>(std::lround(kDip * r.height)));
    const int narrowest = std::max(2, static_cast<int>(std::lround(kNarrowest * r.height)));
    int run_best = -1, last = 0;
    auto close_run = [&] {
        if (run_best < 0)
            return;
        if (run_best - last >= narrowest && static_cast<int>(cuts_.size()) < kMaxPeople - 1) {
            cuts_.push_back(run_best);
            last = run_best;
        }
        run_best = -1;
    };
    for (int x = 1; x + 1 < r.width; ++x) {
        int left = r.height, right = r.height;
        for (int k = std::max(0, x - reach); k < x; ++k)
            left = std::min(left, top_[k]);
        for (int k = x + 1; k <= std::min(r.width - 1, x + reach); ++k)
            right = std::min(right, top_[k]);
        if (top_[x] - std::max(left, right) >= dip) {
            if (run_best < 0 || top_[x] > top_[run_best])
                run_best = x;
        } else {
            close_run();
        }
    }
    close_run();
    if (!cuts_.empty() && r.width - cuts_.back() < narrowest)
        cuts_.pop_back();
    if (cuts_.empty())
        return false;
    // Every piece one person; else the dips are something else's outline.
    const bool known = !person.empty();
    const bool people_wide = known && r.width >= kPeopleWide * person.width;
    const float upright = !known && r.width >= r.height ? kUprightWide : kUpright;
    pieces_.clear();
    int x0 = 0;
    for (size_t i = 0; i <= cuts_.size(); ++i) {
        const int x1 = i < cuts_.size() ? cuts_[i] : r.width;
        pieces_.push_back(piece(blob, x0, x1, labels, fg));
        const cv::Rect &p = pieces_.back().box;
        const bool one_person = p.height >= upright * p.width ||
                                (people_wide && p.width <= kPersonWide * person.width &&
                                 p.height >= kPersonTall * person.height);
        if (pieces_.back().area == 0 || !one_person || p.height < kWhole * r.height ||
            p.y - r.y > kHeadLevel * r.height)
            return false;
        x0 = x1;
    }
    return true;
}

// The blob's strong cells in columns [x0, x1) of its box.
Blob GroupCutter::piece(const Blob &blob, int x0, int x1, const cv::Mat &labels, const cv::Mat &fg) const
{
    const cv::Rect &r = blob.box;
    int bx0 = INT32_MAX, by0 = INT32_MAX, bx1 = -1, by1 = -1, cells = 0;
    for (int y = r.y; y < r.y + r.height; ++y) {
        const int *row = labels.ptr<int>(y);
        const uint8_t *mask = fg.ptr<uint8_t>(y);
        for (int x = r.x + x0; x < r.x + x1; ++x) {
            if (row[x] != blob.label || mask[x] != 255)
                continue;
            bx0 = std::min(bx0, x), by0 = std::min(by0, y), bx1 = std::max(bx1, x), by1 = std::max(by1, y);
            ++cells;
        }
    }
    Blob p = blob;
    p.area = cells;
    p.piece = true;
    if (cells > 0)
        p.box = cv::Rect(bx0, by0, bx1 - bx0 + 1, by1 - by0 + 1);
    return p;
}

} // namespace qv
