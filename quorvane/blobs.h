// Cleaning of the foreground mask and its connected components.
#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace qv {

struct Blob {
    cv::Rect box;      // grid cells
    int area = 0;      // foreground cells
    int label = 0;     // in BlobFinder::labels()
    bool used = false; // taken by a track this frame
};

class BlobFinder {
public:
    void init(cv::Size grid, int min_area);
    // Cleans fg in place (isolated cells out, small gaps closed) and lists its components.
    // A component of weak cells only (below 255) is no object and leaves the mask.
    std::vector<Blob> &find(cv::Mat &fg);
    const cv::Mat &labels() const { return labels_; }

private:
    int min_area_ = 1;
    cv::Mat scratch_;
    cv::Mat labels_;
    std::vector<Blob> stats_; // per label
    std::vector<uint8_t> strong_; // per label: holds a cell at 255
    cv::Mat kernel_;
    std::vector<Blob> blobs_;
};

} // namespace qv
