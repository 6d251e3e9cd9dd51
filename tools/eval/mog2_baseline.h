// The detector a typical user would write with OpenCV, as a yardstick for ours: MOG2
// background subtraction with default parameters, shadows (grey 127 in its mask)
// dropped, opening and closing, external contours above a minimum area, a nearest-box
// tracker with ids, and the same region rules on the bottom centre of each box.
#ifndef QV_SCENES_MOG2_BASELINE_H
#define QV_SCENES_MOG2_BASELINE_H

#include "tests/scenes/evaluation.h"

#include <opencv2/video/background_segm.hpp>

#include <vector>

namespace qvs {

class Mog2Baseline {
public:
    // Lines (one- and two-way), zones and loiter zones are judged; left-object zones
    // never raise anything.
    Mog2Baseline(cv::Size frame, std::vector<Region> regions);

    // One frame, grey or colour; returns the tracks seen in it with their region flags
    // and events, as the library reports its objects.
    std::vector<Reported> detect(const cv::Mat &frame);

private:
    struct Track {
        int id;
        cv::Rect box;
        int misses = 0;
        int seen = 0;                 // frames it was matched in
        std::vector<int> side;        // per region: the last side or zone state outside the dead band, 0 unknown
        std::vector<int> inside_for;  // per region: consecutive frames inside a loiter zone
    };

    std::vector<cv::Rect> blobs(const cv::Mat &frame);
    void judge(Track &t, Reported &out);

    cv::Ptr<cv::BackgroundSubtractorMOG2> mog_;
    std::vector<Region> regions_;
    cv::Mat open_kernel_, close_kernel_, mask_;
    double min_area_;
    std::vector<Track> tracks_;
    int next_id_ = 1;
};

// Runs the baseline over every frame of a scene, like run_detector does with the library.
Run run_mog2_baseline(const Scene &scene);

}  // namespace qvs

#endif
