#include "quorvane/blobs.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

namespace qv {

namespace {
constexpr size_t kMaxBlobs = 256;      // kept for the tracker, largest first
constexpr size_t kMaxCandidates = 4096; // looked at; bounds the memory on a pathological mask
constexpr size_t kMaxCrumbs = 256;      // pieces too small to be objects, kept to complete one
constexpr int kMinCrumb = 2;            // cells; one alone is noise
} // namespace

void BlobFinder::init(cv::Size grid, int min_area)
{
    min_area_ = min_area;
    scratch_.create(grid, CV_8U);
    labels_.create(grid, CV_32S);
    // Taller than wide: a standing figure split at the waist or knees joins up,
    // people side by side stay apart.
    kernel_ = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 5));
    blobs_.reserve(kMaxCandidates);
    crumbs_.reserve(kMaxCrumbs);
    // More labels than this needs a pathological mask.
    all_.reserve(static_cast<size_t>(grid.area()) / 4 + 1);
    strong_.reserve(static_cast<size_t>(grid.area()) / 4 + 1);
}

std::vector<Blob> &BlobFinder::find(cv::Mat &fg)
{
    // A median keeps thin limbs that an opening would cut; the closing joins a
    // figure broken by clothing close to the background.
    cv::medianBlur(fg, scratch_, 3);
    cv::morphologyEx(scratch_, fg, cv::MORPH_CLOSE, kernel_, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT,
                     cv::Scalar(0));
    // Labels only (the library's statistics pass costs many times the labelling
    // on a sparse mask); boxes and areas come from one scan of the labels.
    const int n = cv::connectedComponents(fg, labels_, 8, CV_32S);
    all_.assign(static_cast<size_t>(std::max(n, 1)), Extent{});
    strong_.assign(all_.size(), Extent{});
    for (int y = 0; y < labels_.rows; ++y) {
        const int *row = labels_.ptr<int>(y);
        const uint8_t *mask = fg.ptr<uint8_t>(y);
        for (int x = 0; x < labels_.cols; ++x) {
            const int l = row[x];
            if (l == 0)
                continue;
            all_[l].add(x, y);
            // Weak cells join pieces of one figure but add nothing to its box or area:
            // a faint halo (compressed video) must not widen objects or join neighbours.
            if (mask[x] == 255)
                strong_[l].add(x, y);
        }
    }
    blobs_.clear();
    crumbs_.clear();
    for (int i = 1; i < n && blobs_.size() < kMaxCandidates; ++i) {
        const Extent &e = strong_[i];
        if (e.cells == 0) {
            // Faint evidence alone is noise: out of the mask too, so that the
            // model goes on learning those cells at the normal rate.
            const Extent &a = all_[i];
            for (int y = a.y0; y <= a.y1; ++y) {
                const int *row = labels_.ptr<int>(y);
                uint8_t *mask = fg.ptr<uint8_t>(y);
                for (int x = a.x0; x <= a.x1; ++x)
                    if (row[x] == i)
                        mask[x] = 0;
            }
            continue;
        }
        Blob b;
        b.box = cv::Rect(e.x0, e.y0, e.x1 - e.x0 + 1, e.y1 - e.y0 + 1);
        b.area = e.cells;
        b.label = i;
        if (e.cells >= min_area_)
            blobs_.push_back(b);
        else if (e.cells >= kMinCrumb && crumbs_.size() < kMaxCrumbs)
            crumbs_.push_back(b);
    }
    if (blobs_.size() > kMaxBlobs) {
        std::partial_sort(blobs_.begin(), blobs_.begin() + kMaxBlobs, blobs_.end(),
                          [](const Blob &a, const Blob &b) { return a.area > b.area; });
        blobs_.resize(kMaxBlobs);
    }
    return blobs_;
}

} // namespace qv
