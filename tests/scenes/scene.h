// Seeded synthetic surveillance scenes with ground truth, for judging the detector.
//
// A scene is a textured background, walking figures (head, torso, arms, legs with a
// gait), optional bags, rule regions and nuisance effects (sensor noise, illumination
// drift and switches, a flickering patch, swaying foliage, camera shake, JPEG
// artifacts). Every frame is rendered on demand and is a pure function of the seed
// and the frame index, so frames can be produced in any order.
//
// Ground truth per frame: each present figure's id and box. Expected rule events are
// derived from each figure's true reference point (the bottom centre of its box,
// where the feet touch the ground), with the same rules the detector applies.
#ifndef QV_SCENES_SCENE_H
#define QV_SCENES_SCENE_H

#include <opencv2/core.hpp>

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qvs {

// Assumed frame rate; walking speeds and effect periods are chosen for it.
constexpr int kFps = 30;
// Frames a left object must lie still, and a person must stay in a loiter zone.
constexpr int kLeftObjectFrames = 150;
constexpr int kLoiterFrames = 300;

// A vehicle is seen from above driving sideways: a body `height` across and 2.2
// times that long, with darker windows.
enum class FigureKind { Person, Bag, Vehicle };

// A point of a figure's path: where its feet are at a frame. Between waypoints the
// figure moves in a straight line; before the first and after the last it is absent.
struct Waypoint {
    int frame;
    cv::Point2f foot;
};

struct Figure {
    FigureKind kind = FigureKind::Person;
    float height = 80;   // px, feet to top of head (a bag, a vehicle: its height)
    // Ground-plane perspective: with a horizon row, `height` holds with the feet on
    // `height_row` and the height scales with the feet's distance below the horizon.
    float horizon = NAN;
    float height_row = 0;
    uint8_t head = 60;   // grey levels before illumination
    uint8_t torso = 60;
    uint8_t legs = 60;
    uint8_t shoes = 35;
    float shadow = 0;                     // darkening of the cast shadow, 0 = none
    cv::Point2f shadow_dir{0.6f, 0.35f};  // shadow extent per unit of height
    float shadow_blur = 0.03f;            // softness of the shadow's rim, as a share of the height
    // While standing: turns to the side and back, bends over and reaches out with its
    // arms (someone busy at a table), instead of a slow idle sway.
    bool busy = false;
    std::vector<Waypoint> path;

    // Appends a straight walk to `to` at `speed` px per frame; returns the arrival frame.
    int walk_to(cv::Point2f to, float speed);
    // Stays at the last position for `frames` frames; returns the frame it ends.
    int stand(int frames);
    int first_frame() const { return path.empty() ? 0 : path.front().frame; }
    int last_frame() const { return path.empty() ? -1 : path.back().frame; }
    bool present(int frame) const { return frame >= first_frame() && frame <= last_frame(); }
    cv::Point2f foot_at(int frame) const;
    float height_at(int frame) const;
};

struct Region {
    int kind = 0;  // as qv_region.kind: 1 zone, 2 one-way line, 3 two-way line, 4 loiter, 5 left object
    std::vector<cv::Point> points;
};

struct Effects {
    double noise_sigma = 3.0;
    // Global illumination gain, linear between (frame, gain) keys; two keys on adjacent
    // frames make a sudden switch. Empty = constant 1.
    std::vector<std::pair<int, double>> gain;
    cv::Rect flicker;  // a patch whose brightness flickers (empty = none)
    cv::Rect foliage;  // a patch of swaying leaves (empty = none)
    int shake_px = 0;  // camera shake amplitude
    int jpeg_quality = 0;  // >0: JPEG encode/decode round trip at this quality
};

// One figure as it is in one frame.
struct TruthObject {
    int id;            // 1-based, the figure's index + 1
    FigureKind kind;
    cv::Rect box;      // clipped to the frame
    cv::Point2f foot;  // true reference point (may lie outside the frame)
    bool visible;      // mostly inside the frame; only visible figures are scored
};

struct TruthEvent {
    int frame;
    int region;  // index into regions()
    int code;    // QV_EVENT_* value
    int figure;  // figure id
};

class Scene {
public:
    Scene(std::string name, int width, int height, int frames, uint32_t seed);

    const std::string &name() const { return name_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int frame_count() const { return frames_; }
    uint32_t seed() const { return seed_; }

    // Building.
    int add_figure(Figure f);  // returns the figure id
    void add_region(int kind, std::vector<cv::Point> points);
    Effects &effects() { return effects_; }
    void set_frame_count(int frames) { frames_ = frames; }
    cv::Mat &background() { return background_; }  // to draw fixtures of the place into

    // Reading.
    const std::vector<Figure> &figures() const { return figures_; }
    const Figure &figure(int id) const { return figures_.at(id - 1); }
    const std::vector<Region> &regions() const { return regions_; }
    const Effects &effects() const { return effects_; }
    const cv::Mat &background() const { return background_; }

    // Renders frame `frame` into `grey` (reallocated to a continuous 8-bit image).
    void render(int frame, cv::Mat &grey) const;
    // The figures present in `frame`, nearest last.
    std::vector<TruthObject> truth(int frame) const;
    // The rule events the figures' true paths produce, ordered by frame.
    std::vector<TruthEvent> events() const;
    // The true box of a figure in a frame (unclipped); empty when absent.
    cv::Rect figure_box(int id, int frame) const;

private:
    std::string name_;
    int width_, height_, frames_;
    uint32_t seed_;
    cv::Mat background_;
    cv::Mat noise_;  // normal noise around 128, 8 levels per sigma; frames take shifted windows of it
    std::vector<Figure> figures_;
    std::vector<Region> regions_;
    Effects effects_;

    double gain_at(int frame) const;
    void draw_shadows(cv::Mat &canvas, int frame) const;
    void draw_foliage(cv::Mat &canvas, int frame) const;
};

enum class SceneKind {
    TwoWayLine,     // crossings of a two-way line both ways, one back-and-forth, one past its end
    OneWayLine,     // a vertical one-way line crossed both ways and beyond its end; lights switched on
    Zone,           // entering and leaving a zone, one stays a while, one passes outside
    Loiter,         // one person loiters (stands still a long time), one passes through quickly
    LeftObject,     // a person puts a bag down and walks away
    Nuisance,       // no people: noise, drift, lights switched, flicker, foliage, shake
    CrossingPaths,  // two people walk through each other, twice
    Shadows,        // strong cast shadows reaching over a line their owner never crosses
    Group,          // three people side by side cross a line together
    LowContrast,    // clothing close to the background, with noise
    Busy,           // many sizes (40 px to a third of the frame), drift, JPEG artifacts
    Exposure,       // auto-exposure steps of 40% within a few frames while people cross a line
    Stayers,        // people walk to a table in a zone, stand there 20 s busy, and leave
    LowSun,         // long soft shadows cast sideways by a low sun
    SideBySide,     // in perspective, groups of three and two walking shoulder to shoulder cross a line
    MeetAndPart,    // two meet at a line, stand, and each crosses; two meet there and go back
    Vehicles,       // cars from above pass each other at a line, head-on and overtaking
    Couple          // after two walkers alone, two walk together, faint shade at their feet between them
};

std::vector<SceneKind> all_scene_kinds();
const char *scene_name(SceneKind kind);
// The size the scene set is judged at: 640x360, and the busy scene at 1280x720.
cv::Size standard_size(SceneKind kind);
// Builds a preset scene. Geometry is fixed relative to the frame size; the seed varies
// appearance, speeds and noise.
Scene make_scene(SceneKind kind, uint32_t seed = 1, int width = 640, int height = 360);

}  // namespace qvs

#endif
