#include "quorvane/blobs.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

namespace qv {

namespace {
constexpr size_t kMaxBlobs = 256;      // kept for the tracker, largest first
constexpr size_t kMaxCandidates = 4096; // looked at; bounds the memory on a pathological mask
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
    stats_.reserve(static_cast<size_t>(grid.area()) / 4 + 1); // more labels than this needs a pathological mask
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
    stats_.assign(static_cast<size_t>(std::max(n, 1)), Blob{});
    strong_.assign(stats_.size(), 0);
    for (int i = 0; i < n; ++i)
        stats_[i].box = cv::Rect(INT32_MAX, INT32_MAX, 0, 0);
    for (int y = 0; y < labels_.rows; ++y) {
        const int *row = labels_.ptr<int>(y);
        const uint8_t *mask = fg.ptr<uint8_t>(y);
        for (int x = 0; x < labels_.cols; ++x) {
            const int l = row[x];
            if (l == 0)
                continue;
            Blob &b = stats_[l];
            ++b.area;
            strong_[l] |= mask[x] == 255;
            // box holds x0, y0, x1, y1 until the end of the scan
            b.box.x = std::min(b.box.x, x);
            b.box.y = std::min(b.box.y, y);
            b.box.width = std::max(b.box.width, x);
            b.box.height = std::max(b.box.height, y);
        }
    }
    blobs_.clear();
    for (int i = 1; i < n && blobs_.size() < kMaxCandidates; ++i) {
        Blob b = stats_[i];
        b.box.width = b.box.width - b.box.x + 1;
        b.box.height = b.box.height - b.box.y + 1;
        if (!strong_[i]) {
            // Faint evidence alone is noise here: take it out of the mask as well,
            // so that the model goes on learning those cells at the normal rate.
            for (int y = b.box.y; y < b.box.y + b.box.height; ++y) {
                const int *row = labels_.ptr<int>(y);
                uint8_t *mask = fg.ptr<uint8_t>(y);
                for (int x = b.box.x; x < b.box.x + b.box.width; ++x)
                    if (row[x] == i)
                        mask[x] = 0;
            }
            continue;
        }
        if (b.area < min_area_)
            continue;
        b.label = i;
        blobs_.push_back(b);
    }
    if (blobs_.size() > kMaxBlobs) {
        std::partial_sort(blobs_.begin(), blobs_.begin() + kMaxBlobs, blobs_.end(),
                          [](const Blob &a, const Blob &b) { return a.area > b.area; });
        blobs_.resize(kMaxBlobs);
    }
    return blobs_;
}

} // namespace qv
