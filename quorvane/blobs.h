// Cleaning of the foreground mask and its connected components.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace qv {

struct Blob {
    cv::Rect box;      // grid cells
    int area = 0;      // strong foreground cells
    int label = 0;     // in BlobFinder::labels()
    bool used = false; // taken by a track this frame
    bool piece = false; // one person cut out of a group's blob
};

class BlobFinder {
public:
    void init(cv::Size grid, int min_area);
    // Cleans fg in place (isolated cells out, small gaps closed) and lists its components.
    // Weak cells (below 255) only join strong ones into a component: a component of
    // weak cells only is no object and leaves the mask, and boxes and areas count strong cells.
    // The list is the finder's own: every find() refills the same one.
    std::vector<Blob> &find(cv::Mat &fg);
    const cv::Mat &labels() const { return labels_; }
    // Components of the last find() too small to be objects, such as shoes seen
    // apart from a figure whose legs match the floor.
    const std::vector<Blob> &crumbs() const { return crumbs_; }

private:
    int min_area_ = 1;
    cv::Mat scratch_;
    cv::Mat labels_;
    struct Extent {
        int x0 = INT32_MAX, y0 = INT32_MAX, x1 = -1, y1 = -1;
        int cells = 0;
        void add(int x, int y)
        {
            x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
            ++cells;
        }
    };
    std::vector<Extent> all_;    // per label, every cell
    std::vector<Extent> strong_; // per label, cells at 255
    cv::Mat kernel_;
    std::vector<Blob> blobs_;
    std::vector<Blob> crumbs_;
};

} // namespace qv
