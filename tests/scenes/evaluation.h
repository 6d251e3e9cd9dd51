// Runs the detector library over a scene with the demo's configuration and scores
// what it reports against the scene's ground truth.
#ifndef QV_SCENES_EVALUATION_H
#define QV_SCENES_EVALUATION_H

#include "detector/quorvane.h"
#include "driver/detector_settings.h"
#include "tests/scenes/scene.h"

#include <string>
#include <vector>

namespace qvs {

// One object as qv_detect reported it.
struct Reported {
    int id;
    cv::Rect box;
    int track_length;
    cv::Point track_last;  // newest track point (meaningless when track_length is 0)
    std::vector<int> flag;   // region_flag per installed region
    std::vector<int> event;  // region_event per installed region
    cv::Point2f foot() const { return {box.x + box.width / 2.f, float(box.y + box.height)}; }
};

struct DetectedEvent {
    int frame;
    int region;
    int code;
    int id;           // reported object id
    cv::Point2f foot;  // the object's reference point on that frame
};

struct Run {
    bool created = false;         // qv_init gave a handle
    bool regions_accepted = false;  // qv_init_region returned non-zero
    std::vector<std::vector<Reported>> frames;
    std::vector<std::string> faults;  // broken output invariants, at most a few, with frame numbers

    std::vector<DetectedEvent> events() const;
};

// Feeds every frame of the scene to a fresh detector (param_a 0, param_b 0, param_c 1,
// param_flag 0, param_d 10, param_e 1000000), with the scene's regions installed.
Run run_detector(const Scene &scene);


// The library has no release call: a handle lives until the process ends. This keeps
// it reachable, which tells the leak checker that this is intended.
void keep_handle(void *handle);

// How far a detected event may be from the true one, in frames, per event code.
struct EventWindow {
    int early;
    int late;
};
EventWindow event_window(int code);

struct EventMatch {
    TruthEvent truth;
    DetectedEvent detected;
};

struct Score {
    // Detection: per frame after the warm-up, reported boxes matched one to one to
    // visible figures at IoU >= 0.3. Objects matching a figure that is mostly outside
    // the frame count neither way.
    long true_pos = 0, false_pos = 0, false_neg = 0;
    int id_switches = 0;  // a figure's matched id changed from its previous matched id
    std::vector<float> widths;  // per match: reported box width over the figure's true width
    std::vector<EventMatch> matched;
    std::vector<TruthEvent> missed;
    std::vector<DetectedEvent> spurious;
    // Per frame: (figure id, reported id) of each detection match.
    std::vector<std::vector<std::pair<int, int>>> pairs;

    double precision() const;
    double recall() const;
    double event_precision() const;
    double event_recall() const;
    // Median of `widths`: above 1, boxes took in something beside their figure (a shadow).
    double width_ratio() const;
    int matched_id(int frame, int figure) const;  // -1 when unmatched
};

constexpr int kWarmupFrames = 30;
constexpr double kMatchIoU = 0.3;

// Intersection over union of two boxes, 0 for boxes that do not meet.
double iou(const cv::Rect &a, const cv::Rect &b);

Score score(const Scene &scene, const Run &run, int warmup = kWarmupFrames);

std::string describe(const TruthEvent &e);
std::string describe(const DetectedEvent &e);
// A short account of missed and spurious events, for assertion messages.
std::string event_report(const Score &s);

}  // namespace qvs

#endif
