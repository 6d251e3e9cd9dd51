// How a followed object looks, to find it again inside a blob it shares with others.
#pragma once

#include <array>
#include <vector>

#include <opencv2/core.hpp>

namespace qv {

// The mean grey of an object's foreground in horizontal bands from head to feet, and
// the share of each band that is foreground. On grey footage this tells most people
// apart (a dark jacket over jeans, a light coat, a bare head) while they turn and swing
// their arms, which move the cells within a band but hardly its grey.
struct Look {
    static constexpr int kBands = 12;
    std::array<float, kBands> grey{};
    std::array<float, kBands> fill{};
    int samples = 0; // frames it was learnt from
};

// The look of the strong foreground cells (255 in fg) in box, grid cells.
Look look_of(const cv::Mat &grid, const cv::Mat &fg, cv::Rect box);
// How unalike two looks are, in grey steps that tell bands apart, over the bands both fill.
float difference(const Look &a, const Look &b);
// Blends what was seen into what is known; the first sample is taken whole.
void learn_look(Look &known, const Look &seen);

// Finds where objects of known look stand within one blob.
class LookFinder {
public:
    // Running sums of the grey and the count of the blob's strong cells within its box.
    void prepare(const cv::Mat &grid, const cv::Mat &fg, const cv::Mat &labels, int label, cv::Rect blob_box);
    // The box of `around`'s size within reach of it that best shows `look`; cost is
    // 0 for a perfect likeness, 1 for nothing alike.
    cv::Rect find(const Look &look, cv::Rect around, int reach_x, int reach_y, float &cost) const;

private:
    // Grey sum and cell count over [x0, x1) x [y0, y1), grid cells, clipped to the blob's box.
    void sums(int x0, int y0, int x1, int y1, double &grey, int &cells) const;
    float cost_at(const Look &look, cv::Rect box) const;

    cv::Rect area_;
    cv::Mat grey_sum_;  // CV_64F, (height + 1) x (width + 1)
    cv::Mat count_sum_; // CV_32S, the same
};

} // namespace qv
