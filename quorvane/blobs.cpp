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
    kernel_ = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    blobs_.reserve(kMaxCandidates);
}

std::vector<Blob> &BlobFinder::find(cv::Mat &fg)
{
    // A median keeps thin limbs that an opening would cut; the closing joins a
    // figure broken by clothing close to the background.
    cv::medianBlur(fg, scratch_, 3);
    cv::morphologyEx(scratch_, fg, cv::MORPH_CLOSE, kernel_, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT,
                     cv::Scalar(0));
    const int n = cv::connectedComponentsWithStats(fg, labels_, stats_, centroids_, 8, CV_32S);
    blobs_.clear();
    for (int i = 1; i < n && blobs_.size() < kMaxCandidates; ++i) {
        const int *s = stats_.ptr<int>(i);
        if (s[cv::CC_STAT_AREA] < min_area_)
            continue;
        Blob b;
        b.box = cv::Rect(s[cv::CC_STAT_LEFT], s[cv::CC_STAT_TOP], s[cv::CC_STAT_WIDTH], s[cv::CC_STAT_HEIGHT]);
        b.area = s[cv::CC_STAT_AREA];
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
