// Per-cell background model on the working grid: mean and mean absolute deviation,
// a global gain for illumination, shake- and shadow-tolerant classification and
// a selective update that leaves cells under known objects alone.
#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "quorvane/params.h"
#include "quorvane/shadows.h"

namespace qv {

// Foreground cells found only by pooling the evidence of their neighbours; they
// count where they join cells that cleared the per-cell test (255).
constexpr uint8_t kWeakForeground = 128;

class Background {
public:
    void init(const Params &params);

    // Compares a frame with the model. Fills fg (CV_8U, 255 = foreground,
    // kWeakForeground = faint foreground, 0 = background).
    // Returns false when the whole scene changed at once (lights switched): the
    // model has then re-learnt the frame outside `keep` and fg is empty.
    bool classify(const cv::Mat &frame, const cv::Mat &keep, cv::Mat &fg);

    // Learns the frame: normal rate on background cells, slowly on foreground
    // cells, not at all where `keep` is set (cells under confirmed objects).
    // Cells in `shade` (a passing shadow; may be empty) move the mean as usual but
    // the spread only slowly: a shadow's darkness is no noise of the ground's, and
    // learnt as such it would hide the next dark coat to pass.
    void update(const cv::Mat &frame, const cv::Mat &fg, const cv::Mat &keep, const cv::Mat &shade);

    // Takes the frame as background inside rect (grid cells): for ghosts and absorbed objects.
    void adopt(const cv::Mat &frame, cv::Rect rect);

    // True when the foreground of rect looks like a hole left in the background
    // (edges of the model along the blob outline, none in the frame) rather than an object.
    bool is_ghost(const cv::Mat &frame, const cv::Mat &fg, cv::Rect rect) const;

    double gain() const { return gain_; }
    const cv::Mat &mean8() const { return mean8_; }
    // Of the last classify(): foreground cells at a shadow's darkness, and those taken out as shadow.
    const cv::Mat &shadow_dark() const { return shadows_.candidates(); }
    const cv::Mat &shadow_clothing() const { return shadows_.clothing(); }
    const cv::Mat &shadow_removed() const { return shadows_.removed(); }

private:
    double estimate_gain(const cv::Mat &frame) const;
    void refresh_limits();
    int shake_radius() const;
    void add_pooled_evidence(const cv::Mat &frame, cv::Mat &fg);
    int pool_limit(int x, int y, bool brighter) const;

    Params params_;
    cv::Mat mean_;      // CV_32F
    cv::Mat dev_;       // CV_32F, mean absolute deviation
    cv::Mat mean8_;     // CV_8U, rounded mean
    cv::Mat low_;       // CV_8U, darkest value still background
    cv::Mat high_;      // CV_8U, brightest value still background
    cv::Mat scratch_;   // CV_8U
    // Pooled evidence over 3x3 cells; sums, so nine times the per-cell scale (CV_16S).
    cv::Mat model_sum_;  // of the model
    cv::Mat pool_dev_;   // CV_32F, mean absolute 3x3 sum of frame - model on background
    bool pooled_fresh_ = false; // pooled_ holds this frame's sums
    cv::Mat diff_;       // frame - model per cell, clipped
    cv::Mat pooled_;     // sums of diff_
    cv::Mat shadow_;     // CV_8U, cells the shadow test took out, widened
    std::vector<uint8_t> candidates_; // one row: 1 brighter, 2 darker past the pooled floor
    std::vector<int16_t> columns_;    // one row of column sums
    cv::Mat prev_fg_;   // CV_8U, last frame's foreground, kept out of the gain estimate
    ShadowFilter shadows_;
    double gain_ = 1.0;
    int frames_ = 0;
    int fast_frames_ = 0; // frames left of fast learning after start-up or a sudden change
};

} // namespace qv
