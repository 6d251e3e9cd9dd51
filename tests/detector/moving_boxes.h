// Simple scenes for the detector's own tests: bright boxes moving over a
// textured, slightly noisy background, and a runner that feeds them to the library.
#pragma once

#include <memory>
#include <vector>

#include <opencv2/core.hpp>

#include "detector/quorvane.h"
#include "driver/detector_settings.h"

namespace qvt {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// A box whose bottom centre (feet) moves in straight lines between keys.
struct Mover {
    struct Key {
        int frame;
        cv::Point2f foot;
    };
    cv::Size size{24, 64};
    int grey = 230;
    // A cast shadow: the ground under a rectangle hanging from the feet, offset
    // by shadow_offset from the bottom centre, keeps this share of its light (0: none).
    float shadow = 0;
    cv::Size shadow_size{20, 80};
    cv::Point shadow_offset{-10, 0};
    // Patches painted over or beside the box, in shares of its width and height
    // from its top left: legs the shade of the ground, a swinging hand. With a
    // period, one shows only in the second half of each.
    struct Patch {
        cv::Rect2f at;
        int grey;
        int period = 0;
    };
    std::vector<Patch> patches;
    std::vector<Key> keys;

    Mover &at(int frame, float x, float y);
    bool present(int frame) const;
    cv::Point2f foot(int frame) const;
};

class BoxScene {
public:
    explicit BoxScene(unsigned seed = 7);
    void add(const Mover &m) { movers_.push_back(m); }
    // Even paving over part of the ground: a shadow on it shows no texture through.
    void pave(const cv::Rect &area, int grey) { background_(area).setTo(grey); }
    // The camera's exposure: mid grey (100) is scaled by `gain` from frame `frame`
    // on, reached linearly from the previous key over `ramp` frames. As behind a
    // camera's tone curve, darker greys change by a larger share, brighter ones by
    // a smaller one (a power law: v' = 255 (v / 255)^p).
    void expose(int frame, float gain, int ramp) { exposure_.push_back({frame, gain, ramp}); }
    float gain(int frame) const;
    void render(int frame, cv::Mat &grey) const;

private:
    struct Exposure {
        int frame;
        float gain;
        int ramp;
    };
    cv::Mat background_;
    std::vector<Mover> movers_;
    std::vector<Exposure> exposure_;
    unsigned seed_;
};

qv_region line_region(int kind, cv::Point a, cv::Point b);
qv_region polygon_region(int kind, const std::vector<cv::Point> &points);

// The library has no release call: like the demo, the tests keep every handle
// until the process ends (reachable, so the leak checker is content).
void keep_handle(void *handle);

// What one object reported in one frame.
struct Seen {
    int frame;
    qv_object object;
};

// Runs a detector over frames [0, frames) of a scene with the given regions.
class Runner {
public:
    Runner(const BoxScene &scene, std::vector<qv_region> regions);
    ~Runner();
    void run(int frames);

    const std::vector<std::vector<Seen>> &frames() const { return frames_; }
    // Every (frame, id, code) event for one region.
    std::vector<cv::Vec3i> events(int region) const;

private:
    const BoxScene &scene_;
    std::vector<qv_region> regions_;
    void *handle_ = nullptr;
    std::unique_ptr<qv_result> result_;
    std::vector<std::vector<Seen>> frames_;
    cv::Mat grey_;
};

} // namespace qvt
