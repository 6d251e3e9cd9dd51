// Cast-shadow suppression on the working grid.
#pragma once


#include <opencv2/core.hpp>

#include "quorvane/shadow_remnants.h"

namespace qv {

// A cast shadow dims the ground by one ratio over its inside, so the ground's
// blotches show through, scaled: frame = ratio * model. Clothing of its own shade
// hides them: the frame stays flat where the ground varies. Where the ground is
// too even to vary, the two cannot be told apart and the cells stay foreground.
class ShadowFilter {
public:
    void init(cv::Size grid);
    // Clears the shadow cells from fg. mean is the model (CV_32F), low its darkest background values.
    void apply(const cv::Mat &frame, const cv::Mat &mean, const cv::Mat &low, cv::Mat &fg);
    // Of the last apply(): foreground cells at a shadow's darkness, and those taken out (CV_8U).
    const cv::Mat &candidates() const { return candidate_; }
    // Candidates judged not shadow by the last apply() (CV_8U); stale away from its candidates.
    const cv::Mat &clothing() const { return cloth_; }
    const cv::Mat &removed() const { return removed_; }

private:
    void judge(const cv::Mat &frame, const cv::Mat &mean, cv::Rect area);
    void add_gradients(const cv::Mat &frame, const cv::Mat &mean, cv::Rect area, const cv::Mat &core,
                       cv::Mat *sums) const;
    void remember(cv::Rect area);

    cv::Mat candidate_; // CV_8U: darker foreground cells at a ratio a shadow can have
    cv::Mat dark_;      // CV_8U: darker foreground cells at any ratio below a shadow's lightest
    cv::Mat core_;      // CV_8U: candidates well inside a candidate patch
    cv::Mat removed_;   // CV_8U: foreground cells taken out as shadow this frame
    cv::Mat thin_;      // CV_8U: scratch for the inside of thin patches
    cv::Mat shadow_;    // CV_8U: cells judged shadow
    cv::Mat cloth_;     // CV_8U: core cells judged not shadow (the frame is flat where the ground varies)
    cv::Mat life_;      // CV_8U: frames a shadow verdict still holds here
    cv::Mat grown_;     // CV_8U: last frame's life, one less
    cv::Mat held_;      // CV_8U: scratch for the memory
    bool remembered_ = false;
    cv::Mat wide_;      // CV_8U: scratch for the core grown out
    ShadowRemnants remnants_; // the thin tip and rim the verdicts leave
    static constexpr int kSums = 10;
    cv::Mat sums_[kSums]; // per block of cells, CV_32F
    cv::Mat block_shadow_, block_cloth_, block_near_; // verdicts per block, CV_8U
};

} // namespace qv
