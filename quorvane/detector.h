// One detector instance: everything a handle owns.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "detector/quorvane.h"
#include "quorvane/background.h"
#include "quorvane/blobs.h"
#include "quorvane/downscale.h"
#include "quorvane/params.h"
#include "quorvane/recent_crossings.h"
#include "quorvane/rules.h"
#include "quorvane/shadow_stage.h"
#include "quorvane/tracker.h"

namespace qv {

class Detector {
public:
    bool init(const qv_config &config);
    bool set_regions(const qv_region *regions, int count);
    void detect(const qv_image &image, qv_result &result);

private:
    void mark_kept(cv::Mat &keep) const;
    void judge_rules();
    void report(qv_result &result);
    static bool held_back(const Track &t);
    bool shown(const Track &t) const;

    Params params_;
    Downscaler downscaler_;
    Background background_;
    BlobFinder blob_finder_;
    Tracker tracker_;
    ShadowStage shadows_;
    std::vector<Region> regions_;
    cv::Mat grid_;  // this frame on the working grid
    cv::Mat fg_;    // its foreground
    cv::Mat keep_;  // cells the background must not learn
    std::vector<int> order_;
    long frames_ = 0;               // frames detected so far
    RecentCrossings crossings_;     // line crossings of the last few frames
    struct Fired {
        size_t track;
        int region;
        int code;
    };
    std::vector<Fired> fired_;      // this frame's line crossings, before they are checked
};

} // namespace qv
