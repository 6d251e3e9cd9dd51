#include "quorvane/shadow_stage.h"

#include "quorvane/shadow_tails.h"

namespace qv {

void ShadowStage::init(const Params &params)
{
    on_ = params.shadows;
    memory_.init(params);
    tips_.init(params);
    remnants_.init(cv::Size(params.grid_width, params.grid_height));
    bodies_.reserve(64);
    removed_ = cv::Mat::zeros(params.grid_height, params.grid_width, CV_8U);
}

void ShadowStage::clear(const Background &model, const std::vector<Track> &tracks, cv::Mat &fg)
{
    if (!on_)
        return;
    // removed_ is written whole here
    cv::bitwise_or(model.shadow_removed(), memory_.clear(tracks, model.shadow_dark(), model.shadow_clothing(), fg), removed_);
    // The filter dropped what its own verdicts left; this also takes what the learnt
    // places left, judged against all the shade taken out, and marks it taken out too.
    memory_.bodies(tracks, bodies_);
    remnants_.drop(fg, removed_, model.shadow_dark(), model.shadow_clothing(), cv::Rect(0, 0, fg.cols, fg.rows),
                   bodies_, &removed_);
}

bool ShadowStage::clear_feet(const std::vector<Blob> &blobs, const cv::Mat &labels, const cv::Mat &frame,
                             const Background &model, cv::Mat &fg) const
{
    return on_ && clear_shade_at_feet(blobs, labels, frame, model.mean8(), model.shadow_dark(), fg);
}

void ShadowStage::trim(std::vector<Blob> &blobs, const cv::Mat &labels, const cv::Mat &fg, const Background &model)
{
    if (!on_)
        return;
    trim_shadow_tails(blobs, labels, fg, model.shadow_dark(), memory_.sun_side(), removed_);
    drop_shadows_from_outside(blobs, labels, fg, model.shadow_dark(), model.shadow_clothing(), memory_.sun_side(),
                              bodies_, removed_);
}

void ShadowStage::learn(std::vector<Track> &tracks, const cv::Mat &grid, const cv::Mat &fg, const Background &model)
{
    if (!on_)
        return;
    memory_.learn(tracks, removed_);
    tips_.judge(tracks, grid, model.mean8(), fg, model.shadow_dark(), model.shadow_clothing(), memory_.sun_side());
}

} // namespace qv
