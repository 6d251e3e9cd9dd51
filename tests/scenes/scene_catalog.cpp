// The preset scenes. Positions are fractions of the frame so one layout serves any
// size; the seed picks clothing, walking speeds and noise.
#include "tests/scenes/scene.h"

#include "tests/scenes/figure_shape.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace qvs {
namespace {

enum class Contrast { High, Medium, Low };

class Builder {
public:
    Builder(SceneKind kind, uint32_t seed, int width, int height)
        : scene(scene_name(kind), width, height, 1, seed), rng(0x5CE7E000ull + seed), w(width), h(height)
    {
    }

    cv::Point2f at(float x, float y) const { return {x * w, y * h}; }

    // A person of height `frac` of the frame (never below 40 px) appearing at `from`.
    Figure person(float frac, int start, cv::Point2f from)
    {
        Figure f;
        f.height = std::max(40.f, frac * h);
        f.path.push_back({start, at(from.x, from.y)});
        return f;
    }

    // Dresses a person (whose path is complete) against the background it walks over:
    // contrast is measured from the mean and spread of that background.
    void dress(Figure &f, Contrast c)
    {
        cv::Scalar mean, dev;
        swept_background(f, mean, dev);
        f.torso = level(c, mean[0], dev[0], false);
        f.legs = level(c, mean[0], dev[0], true);
        f.head = level(c == Contrast::Low ? Contrast::Medium : c, mean[0], dev[0], false);
    }

    void add(Figure f, Contrast c)
    {
        dress(f, c);
        scene.add_figure(std::move(f));
    }

    // A walking speed in px per frame: about 1.4 m/s for a 1.7 m person at 30 frames/s.
    float speed(const Figure &f) { return f.height * float(rng.uniform(0.022, 0.032)); }

    void walk(Figure &f, float x, float y) { f.walk_to(at(x, y), speed(f)); }

    // Ends the scene shortly after the last figure leaves, or at `cap` frames.
    Scene done(int cap = 100000)
    {
        int last = 0;
        for (const Figure &f : scene.figures())
            last = std::max(last, f.last_frame());
        scene.set_frame_count(std::min(cap, std::max(last + 15, 300)));
        return std::move(scene);
    }

    Scene scene;
    cv::RNG rng;
    float w, h;

private:
    void swept_background(const Figure &f, cv::Scalar &mean, cv::Scalar &dev) const
    {
        cv::Mat mask(scene.background().size(), CV_8U, cv::Scalar(0));
        const cv::Rect all(0, 0, int(w), int(h));
        for (int t = f.first_frame(); t <= f.last_frame(); t += 5)
            mask(shape_box(f, t) & all).setTo(255);
        if (cv::countNonZero(mask) == 0)
            mask.setTo(255);
        cv::meanStdDev(scene.background(), mean, dev, mask);
    }

    // A grey level `c` away from the background: beyond its texture unless low contrast.
    uint8_t level(Contrast c, double mean, double dev, bool trousers)
    {
        static const int spread[3][2] = {{45, 80}, {25, 40}, {10, 18}};
        const int *s = spread[int(c)];
        const double margin = c == Contrast::Low ? 0 : dev;
        int dir = rng.uniform(0, 2) ? 1 : -1;
        if (trousers && rng.uniform(0, 3))  // trousers are more often dark
            dir = -1;
        if (mean + dir * (margin + s[1]) > 250 || mean + dir * (margin + s[1]) < 5)
            dir = -dir;  // no room on that side
        return uint8_t(std::clamp(int(mean + dir * (margin + rng.uniform(s[0], s[1] + 1))), 5, 250));
    }
};

std::vector<cv::Point> pts(const Builder &b, std::initializer_list<cv::Point2f> fr)
{
    std::vector<cv::Point> out;
    for (const cv::Point2f &p : fr)
        out.emplace_back(int(std::lround(p.x * b.w)), int(std::lround(p.y * b.h)));
    return out;
}

Scene two_way_line(Builder &b)
{
    b.scene.add_region(3, pts(b, {{0.2f, 0.6f}, {0.8f, 0.64f}}));
    Figure a = b.person(0.25f, 20, {0.35f, -0.02f});
    b.walk(a, 0.38f, 1.27f);
    Figure c = b.person(0.18f, 50, {0.65f, 1.2f});
    b.walk(c, 0.62f, -0.02f);
    Figure beyond_left = b.person(0.2f, 120, {0.08f, -0.02f});
    b.walk(beyond_left, 0.1f, 1.22f);
    Figure back = b.person(0.22f, 200, {0.5f, -0.02f});
    b.walk(back, 0.5f, 0.8f);
    back.stand(20);
    b.walk(back, 0.52f, 0.42f);
    b.walk(back, 0.55f, -0.02f);
    Figure beyond_right = b.person(0.15f, 150, {0.92f, 1.17f});
    b.walk(beyond_right, 0.93f, -0.02f);
    b.add(a, Contrast::High);
    b.add(c, Contrast::Medium);
    b.add(beyond_left, Contrast::High);
    b.add(back, Contrast::High);
    b.add(beyond_right, Contrast::Medium);
    return b.done();
}

Scene one_way_line(Builder &b)
{
    // d points down, so s > 0 is the left side: walking left to right raises the event.
    b.scene.add_region(2, pts(b, {{0.5f, 0.3f}, {0.5f, 0.95f}}));
    // Lights switched on while people walk: the last crossing comes two seconds later.
    b.scene.effects().gain = {{0, 1.0}, {259, 1.0}, {260, 1.3}};
    Figure a = b.person(0.25f, 20, {-0.12f, 0.7f});
    b.walk(a, 1.12f, 0.72f);
    Figure back = b.person(0.2f, 60, {1.1f, 0.55f});
    b.walk(back, -0.1f, 0.5f);
    Figure small = b.person(0.11f, 20, {0.25f, 1.1f});
    b.walk(small, 0.7f, 0.65f);
    b.walk(small, 1.06f, 0.75f);
    Figure above = b.person(0.2f, 40, {-0.08f, 0.2f});
    b.walk(above, 0.7f, 0.15f);
    b.walk(above, 0.75f, -0.02f);
    Figure turn = b.person(0.22f, 100, {1.1f, 0.62f});
    b.walk(turn, 0.4f, 0.62f);
    turn.stand(15);
    b.walk(turn, 1.12f, 0.66f);
    b.add(a, Contrast::High);
    b.add(back, Contrast::High);
    b.add(small, Contrast::High);
    b.add(above, Contrast::High);
    b.add(turn, Contrast::Medium);
    return b.done();
}

Scene zone(Builder &b)
{
    b.scene.add_region(1, pts(b, {{0.3f, 0.45f}, {0.7f, 0.45f}, {0.75f, 0.85f}, {0.25f, 0.85f}}));
    Figure through = b.person(0.22f, 20, {-0.1f, 0.65f});
    b.walk(through, 1.1f, 0.68f);
    Figure outside = b.person(0.18f, 100, {1.1f, 0.3f});
    b.walk(outside, -0.1f, 0.32f);
    Figure stay = b.person(0.25f, 150, {0.5f, 1.27f});
    b.walk(stay, 0.5f, 0.65f);
    stay.stand(60);
    b.walk(stay, 0.45f, 1.27f);
    b.add(through, Contrast::High);
    b.add(outside, Contrast::High);
    b.add(stay, Contrast::Medium);
    return b.done();
}

Scene loiter(Builder &b)
{
    b.scene.add_region(4, pts(b, {{0.2f, 0.4f}, {0.8f, 0.4f}, {0.8f, 0.95f}, {0.2f, 0.95f}}));
    Figure stay = b.person(0.28f, 20, {0.45f, 1.3f});
    b.walk(stay, 0.4f, 0.7f);
    stay.stand(150);
    b.walk(stay, 0.6f, 0.75f);
    stay.stand(120);
    b.walk(stay, 1.15f, 0.8f);
    Figure pass = b.person(0.2f, 300, {0.3f, 1.25f});
    b.walk(pass, 0.3f, -0.02f);
    b.add(stay, Contrast::High);
    b.add(pass, Contrast::High);
    return b.done();
}

Scene left_object(Builder &b)
{
    b.scene.add_region(5, pts(b, {{0.35f, 0.5f}, {0.75f, 0.5f}, {0.75f, 0.9f}, {0.35f, 0.9f}}));
    Figure owner = b.person(0.28f, 20, {-0.1f, 0.75f});
    const int arrive = owner.walk_to(b.at(0.5f, 0.75f), b.speed(owner));
    owner.stand(30);
    b.walk(owner, -0.15f, 0.72f);
    Figure bag;
    bag.kind = FigureKind::Bag;
    bag.height = std::max(14.f, 0.07f * b.h);
    bag.torso = uint8_t(b.rng.uniform(30, 60));
    bag.legs = uint8_t(bag.torso + 25);
    const cv::Point2f spot = b.at(0.5f, 0.75f) + cv::Point2f(0.25f * owner.height, 0);
    bag.path = {{arrive + 12, spot}};
    Figure passer = b.person(0.2f, 220, {1.1f, 0.55f});
    b.walk(passer, 0.55f, -0.02f);
    b.add(owner, Contrast::High);
    const int drop = arrive + 12;
    const int end = std::max(drop + kLeftObjectFrames + 150, passer.last_frame());
    bag.path.push_back({end, spot});
    b.scene.add_figure(bag);
    b.add(passer, Contrast::Medium);
    return b.done(end + 1);  // the bag lies there until the last frame
}

Scene nuisance(Builder &b)
{
    Effects &e = b.scene.effects();
    e.noise_sigma = 5;
    e.gain = {{0, 1.0}, {60, 1.0}, {150, 0.7}, {260, 0.7}, {261, 1.05}};
    e.flicker = cv::Rect(int(0.06f * b.w), int(0.12f * b.h), int(0.12f * b.w), int(0.15f * b.h));
    e.foliage = cv::Rect(int(0.7f * b.w), int(0.05f * b.h), int(0.25f * b.w), int(0.35f * b.h));
    e.shake_px = 2;
    b.scene.add_region(1, pts(b, {{0.1f, 0.1f}, {0.9f, 0.1f}, {0.9f, 0.9f}, {0.1f, 0.9f}}));
    b.scene.add_region(3, pts(b, {{0.05f, 0.5f}, {0.95f, 0.5f}}));
    b.scene.add_region(4, pts(b, {{0.6f, 0.02f}, {0.98f, 0.02f}, {0.98f, 0.45f}, {0.6f, 0.45f}}));
    b.scene.add_region(5, pts(b, {{0.02f, 0.05f}, {0.3f, 0.05f}, {0.3f, 0.4f}, {0.02f, 0.4f}}));
    b.scene.set_frame_count(450);
    return std::move(b.scene);
}

Scene crossing_paths(Builder &b)
{
    const float pace = 0.027f * 0.29f * b.h;  // one speed, so the two meet in the middle
    Figure a = b.person(0.3f, 20, {-0.12f, 0.7f});
    a.walk_to(b.at(1.12f, 0.72f), pace);
    Figure c = b.person(0.28f, 20, {1.12f, 0.74f});
    c.walk_to(b.at(-0.12f, 0.7f), pace);
    // Opposite shades so each is distinct, as in a real crossing of two people.
    b.dress(a, Contrast::High);
    b.dress(c, Contrast::High);
    a.torso = 45, a.legs = 35, c.torso = 205, c.legs = 185;
    Figure d = b.person(0.22f, 170, {-0.1f, 0.28f});
    d.walk_to(b.at(1.1f, 0.5f), pace);
    Figure e = b.person(0.24f, 170, {1.1f, 0.3f});
    e.walk_to(b.at(-0.1f, 0.48f), pace);
    b.scene.add_figure(a);
    b.scene.add_figure(c);
    b.add(d, Contrast::High);
    b.add(e, Contrast::Medium);
    return b.done();
}

Scene shadows(Builder &b)
{
    b.scene.add_region(3, pts(b, {{0.1f, 0.62f}, {0.9f, 0.62f}}));
    Figure along = b.person(0.3f, 20, {-0.12f, 0.52f});
    along.shadow = 0.5f;
    along.shadow_dir = {0.5f, 0.45f};
    b.walk(along, 1.12f, 0.53f);
    Figure across = b.person(0.25f, 120, {0.3f, -0.02f});
    across.shadow = 0.5f;
    across.shadow_dir = {0.5f, 0.45f};
    b.walk(across, 0.35f, 1.27f);
    Figure back = b.person(0.2f, 60, {1.1f, 0.45f});
    back.shadow = 0.55f;
    back.shadow_dir = {-0.3f, 1.05f};  // its tip reaches well over the line
    b.walk(back, -0.1f, 0.46f);
    b.add(along, Contrast::High);
    b.add(across, Contrast::High);
    b.add(back, Contrast::Medium);
    return b.done();
}

Scene group(Builder &b)
{
    b.scene.add_region(3, pts(b, {{0.1f, 0.55f}, {0.9f, 0.55f}}));
    const float frac = 0.24f;
    const float pace = 0.026f * frac * b.h;
    const float step = 0.5f * frac * b.h / b.w;  // centres half a height apart: a small gap
    for (int i = 0; i < 3; ++i) {
        const float lag = 0.02f * float((i * 7) % 3 - 1);
        Figure f = b.person(frac, 20, {0.4f + i * step, -0.02f + lag});
        f.walk_to(b.at(0.4f + i * step, 1.27f + lag), pace);
        b.add(f, Contrast::High);
    }
    const float close = 0.4f * frac * b.h / b.w;
    for (int i = 0; i < 2; ++i) {
        Figure f = b.person(frac, 200, {0.6f + i * close, 1.25f});
        f.walk_to(b.at(0.6f + i * close, -0.02f), pace);
        b.add(f, Contrast::High);
    }
    return b.done();
}

Scene couple(Builder &b)
{
    b.scene.add_region(3, pts(b, {{0.1f, 0.55f}, {0.9f, 0.55f}}));
    const float frac = 0.26f, pace = 0.026f * frac * b.h;
    // Two alone first, one each way, so the size of one person is known by then.
    Figure down = b.person(frac, 10, {0.22f, -0.02f});
    down.walk_to(b.at(0.24f, 1.27f), pace);
    b.add(down, Contrast::High);
    Figure up = b.person(frac, 60, {0.78f, 1.25f});
    up.walk_to(b.at(0.76f, -0.02f), pace);
    b.add(up, Contrast::High);
    // Then two a shoulder's width apart, the faint shade at each one's feet spreading
    // flat towards the other's: too faint to be judged a shadow, and joining them.
    const float beside = 0.3f * frac * b.h / b.w;
    for (int i = 0; i < 2; ++i) {
        Figure f = b.person(frac, 200, {0.5f + i * beside, -0.02f});
        f.shadow = 0.07f;
        f.shadow_dir = {i == 0 ? 0.5f : -0.5f, 0.02f};
        f.shadow_blur = 0.08f;
        f.walk_to(b.at(0.5f + i * beside, 1.27f), pace);
        b.add(f, Contrast::High);
    }
    return b.done();
}

Scene low_contrast(Builder &b)
{
    b.scene.effects().noise_sigma = 4;
    b.scene.add_region(3, pts(b, {{0.15f, 0.6f}, {0.85f, 0.6f}}));
    Figure down = b.person(0.25f, 20, {0.3f, -0.02f});
    b.walk(down, 0.33f, 1.27f);
    Figure up = b.person(0.2f, 80, {0.7f, 1.22f});
    b.walk(up, 0.66f, -0.02f);
    Figure along = b.person(0.3f, 160, {-0.12f, 0.85f});
    b.walk(along, 1.12f, 0.82f);
    for (Figure *f : {&down, &up, &along})
        b.add(*f, Contrast::Low);
    return b.done();
}

Scene busy(Builder &b)
{
    Effects &e = b.scene.effects();
    e.jpeg_quality = 75;
    e.gain = {{0, 1.0}, {200, 1.0}, {350, 0.7}};
    b.scene.add_region(3, pts(b, {{0.1f, 0.5f}, {0.9f, 0.5f}}));
    b.scene.add_region(1, pts(b, {{0.6f, 0.6f}, {0.95f, 0.6f}, {0.95f, 0.95f}, {0.6f, 0.95f}}));
    // The smallest figure (40 px) walks about one pixel a frame; it turns to cross the
    // line squarely, as a shallow crossing at that pace takes longer than any window.
    const float tiny = 40.f / b.h;
    Figure p1 = b.person(tiny, 20, {-0.02f, 0.44f});
    b.walk(p1, 0.15f, 0.44f);
    b.walk(p1, 0.16f, 0.62f);
    Figure p2 = b.person(0.33f, 40, {0.72f, 1.35f});
    b.walk(p2, 0.7f, -0.02f);
    Figure p3 = b.person(0.15f, 60, {1.08f, 0.78f});
    b.walk(p3, 0.45f, 0.8f);
    b.walk(p3, 0.42f, 1.2f);
    Figure p4 = b.person(0.2f, 150, {0.45f, -0.02f});
    b.walk(p4, 0.47f, 1.22f);
    Figure p5 = b.person(0.1f, 60, {0.85f, 1.12f});
    b.walk(p5, 0.85f, 0.7f);
    b.walk(p5, 1.06f, 0.55f);
    Figure p6 = b.person(0.25f, 100, {1.12f, 0.3f});
    b.walk(p6, -0.12f, 0.32f);
    for (Figure *f : {&p1, &p2, &p3, &p4, &p5, &p6})
        f->shadow = 0.25f;
    b.add(p1, Contrast::High);
    b.add(p2, Contrast::Medium);
    b.add(p3, Contrast::High);
    b.add(p4, Contrast::Medium);
    b.add(p5, Contrast::High);
    b.add(p6, Contrast::High);
    return b.done(345);
}

// People walking shoulder to shoulder from the moment they come in: their blobs
// are one from the start. Heights follow the ground plane, 43 px at the top of
// the frame to 128 px at the bottom; one person walks alone first.
Scene side_by_side(Builder &b)
{
    const float line = 0.6f;
    b.scene.add_region(3, pts(b, {{0.1f, line}, {0.9f, line}}));
    const float frac = 0.26f, horizon = -0.5f * b.h;
    auto walker = [&](int start, cv::Point2f from) {
        Figure f = b.person(frac, start, from);
        f.horizon = horizon;
        f.height_row = line * b.h;
        return f;
    };
    // Feet `k` shoulder widths beside `x` (a fraction of the width) on row `y`.
    auto beside = [&](float x, float y, float k) {
        const float height = frac * b.h * (y * b.h - horizon) / (line * b.h - horizon);
        return cv::Point2f(x + k * 0.3f * height / b.w, y);
    };
    const float pace = 0.026f * frac * b.h;
    Figure alone = walker(10, {0.8f, 1.3f});
    alone.walk_to(b.at(0.78f, -0.02f), pace);
    b.add(alone, Contrast::High);
    for (int i = 0; i < 3; ++i) {
        const float lag = 0.015f * float((i * 7) % 3 - 1);
        Figure f = walker(40, beside(0.4f, -0.02f + lag, float(i - 1)));
        const cv::Point2f end = beside(0.42f, 1.3f + lag, float(i - 1));
        f.walk_to(b.at(end.x, end.y), pace);
        b.add(f, Contrast::High);
    }
    for (int i = 0; i < 2; ++i) {
        const float lag = 0.01f * float(i);
        const cv::Point2f end = beside(0.6f, -0.02f + lag, float(i) - 0.5f);
        Figure f = walker(170, beside(0.62f, 1.3f + lag, float(i) - 0.5f));
        f.walk_to(b.at(end.x, end.y), pace);
        b.add(f, Contrast::High);
    }
    return b.done();
}

// Two walk up to the line from either side, stand side by side on it for a second
// and a half, and each goes on across. Later two meet there, stand, and each goes
// back the way it came: no crossing, however long their shared blob lies on the line.
Scene meet_and_part(Builder &b)
{
    const float line = 0.55f;
    b.scene.add_region(3, pts(b, {{0.1f, line}, {0.9f, line}}));
    const float frac = 0.25f, beside = 0.3f * frac * b.h / b.w;
    const float pace = 0.026f * frac * b.h;
    Figure a = b.person(frac, 15, {0.3f, -0.02f});
    a.walk_to(b.at(0.4f, line - 0.03f), pace);
    Figure c = b.person(frac, 15, {0.55f, 1.27f});
    c.walk_to(b.at(0.4f + beside, line + 0.03f), pace);
    const int met = std::max(a.last_frame(), c.last_frame());
    a.stand(met + 45 - a.last_frame());
    c.stand(met + 45 - c.last_frame());
    a.walk_to(b.at(0.45f, 1.27f), pace);
    c.walk_to(b.at(0.5f, -0.02f), pace);
    b.add(a, Contrast::High);
    b.add(c, Contrast::High);

    const int later = met + 110;
    Figure d = b.person(frac, later, {-0.1f, line - 0.12f});
    d.walk_to(b.at(0.65f, line - 0.04f), pace);
    Figure e = b.person(frac, later, {1.1f, line + 0.12f});
    e.walk_to(b.at(0.65f + beside, line + 0.04f), pace);
    const int met2 = std::max(d.last_frame(), e.last_frame());
    d.stand(met2 + 45 - d.last_frame());
    e.stand(met2 + 45 - e.last_frame());
    d.walk_to(b.at(-0.1f, line - 0.1f), pace);
    e.walk_to(b.at(1.1f, line + 0.1f), pace);
    b.add(d, Contrast::High);
    b.add(e, Contrast::Medium);
    return b.done();
}

// Cars seen from above, 2.2 times longer than wide, in two lanes a few pixels apart
// so that their blobs join while they pass. First two meet head-on at the line, then
// a fast one overtakes a slow one there.
Scene vehicles(Builder &b)
{
    b.scene.add_region(3, pts(b, {{0.5f, 0.15f}, {0.5f, 0.95f}}));
    auto car = [&](int start, float x, float lane) {
        Figure f;
        f.kind = FigureKind::Vehicle;
        f.height = 0.12f * b.h;
        f.path.push_back({start, b.at(x, lane)});
        return f;
    };
    const float lane1 = 0.5f, lane2 = lane1 + 0.14f;
    const float speed = float(b.rng.uniform(4.0, 6.0)), slow = 0.55f * speed;
    Figure east = car(10, -0.25f, lane1);
    east.walk_to(b.at(1.25f, lane1), speed);
    Figure west = car(10, 1.25f, lane2);
    west.walk_to(b.at(-0.25f, lane2), speed);
    // The slow car starts first, so that the fast one reaches it at the line.
    const float to_line = 0.7f * b.w;
    const int fast_start = 230 + int(std::lround(to_line / slow - to_line / speed));
    Figure slow_car = car(230, -0.2f, lane2);
    slow_car.walk_to(b.at(1.25f, lane2), slow);
    Figure fast_car = car(fast_start, -0.2f, lane1);
    fast_car.walk_to(b.at(1.25f, lane1), speed);
    for (Figure *f : {&east, &west, &slow_car, &fast_car}) {
        b.dress(*f, Contrast::High);
        f->head = f->torso; // the roof is painted like the body
        b.scene.add_figure(*f);
    }
    return b.done();
}

// Auto-exposure reacting to something bright: the whole frame darkens by 40% within
// three frames while two people walk towards a line, and brightens by 40% within two
// frames as a third crosses it.
Scene exposure(Builder &b)
{
    b.scene.add_region(3, pts(b, {{0.1f, 0.55f}, {0.9f, 0.55f}}));
    b.scene.effects().gain = {{0, 1.0}, {110, 1.0}, {113, 0.6}, {220, 0.6}, {222, 0.84}};
    Figure down = b.person(0.25f, 45, {0.3f, -0.02f});
    b.walk(down, 0.34f, 1.27f);
    Figure up = b.person(0.22f, 40, {0.7f, 1.25f});
    b.walk(up, 0.66f, -0.02f);
    Figure along = b.person(0.18f, 60, {-0.1f, 0.3f});  // behind the others: no crossing of paths
    b.walk(along, 1.1f, 0.31f);
    Figure late = b.person(0.24f, 150, {0.5f, -0.02f});
    b.walk(late, 0.52f, 1.27f);
    b.add(down, Contrast::High);
    b.add(up, Contrast::Medium);
    b.add(along, Contrast::High);
    b.add(late, Contrast::Medium);
    return b.done();
}

// Two people one after the other walk to a table inside a zone and a loiter area,
// stand there about 20 s turning, bending over and reaching out, and leave. The
// table itself is part of the room.
Scene stayers(Builder &b)
{
    const cv::Rect table(int(0.42f * b.w), int(0.52f * b.h), int(0.2f * b.w), int(0.1f * b.h));
    cv::Mat &room = b.scene.background();
    cv::rectangle(room, table, cv::Scalar(b.rng.uniform(60, 90)), cv::FILLED);
    cv::rectangle(room, table, cv::Scalar(b.rng.uniform(150, 190)), 2);
    b.scene.add_region(1, pts(b, {{0.3f, 0.45f}, {0.75f, 0.45f}, {0.8f, 0.92f}, {0.25f, 0.92f}}));
    b.scene.add_region(4, pts(b, {{0.3f, 0.45f}, {0.75f, 0.45f}, {0.8f, 0.92f}, {0.25f, 0.92f}}));
    constexpr int kStay = 20 * kFps;
    Figure first = b.person(0.3f, 20, {-0.1f, 0.75f});
    b.walk(first, 0.38f, 0.8f);
    first.stand(kStay);
    b.walk(first, -0.12f, 0.78f);
    Figure second = b.person(0.28f, first.last_frame() + 30, {0.55f, 1.3f});
    b.walk(second, 0.6f, 0.78f);
    second.stand(kStay);
    b.walk(second, 1.12f, 0.7f);
    first.busy = second.busy = true;
    b.add(first, Contrast::Medium);
    b.add(second, Contrast::Medium);
    return b.done();
}

// Late in the day: long soft shadows reach out sideways, one and a half heights,
// over ground that turns even in places. People cross a line and walk along it.
Scene low_sun(Builder &b)
{
    b.scene.add_region(3, pts(b, {{0.1f, 0.6f}, {0.9f, 0.6f}}));
    cv::Mat &ground = b.scene.background();
    cv::Mat plain = ground(cv::Rect(0, int(0.65f * b.h), int(b.w), int(0.2f * b.h)));
    cv::GaussianBlur(plain, plain, cv::Size(), 6);  // a smooth stretch of paving
    Figure down = b.person(0.25f, 20, {0.3f, -0.02f});
    b.walk(down, 0.32f, 1.27f);
    Figure up = b.person(0.22f, 60, {0.62f, 1.25f});
    b.walk(up, 0.6f, -0.02f);
    Figure along = b.person(0.28f, 140, {-0.1f, 0.78f});
    b.walk(along, 1.1f, 0.75f);
    Figure back = b.person(0.2f, 200, {1.1f, 0.42f});
    b.walk(back, -0.1f, 0.44f);
    for (Figure *f : {&down, &up, &along, &back}) {
        f->shadow = 0.45f;
        f->shadow_dir = {1.5f, 0.12f};
        f->shadow_blur = 0.07f;
    }
    b.add(down, Contrast::High);
    b.add(up, Contrast::Medium);
    b.add(along, Contrast::High);
    b.add(back, Contrast::High);
    return b.done();
}

}  // namespace

std::vector<SceneKind> all_scene_kinds()
{
    return {SceneKind::TwoWayLine, SceneKind::OneWayLine,    SceneKind::Zone,    SceneKind::Loiter,
            SceneKind::LeftObject, SceneKind::Nuisance,      SceneKind::CrossingPaths,
            SceneKind::Shadows,    SceneKind::Group,         SceneKind::LowContrast, SceneKind::Busy,
            SceneKind::SideBySide, SceneKind::MeetAndPart,   SceneKind::Vehicles,
            SceneKind::Exposure,   SceneKind::Stayers,       SceneKind::LowSun,      SceneKind::Couple};
}

const char *scene_name(SceneKind kind)
{
    switch (kind) {
    case SceneKind::TwoWayLine: return "two-way-line";
    case SceneKind::OneWayLine: return "one-way-line";
    case SceneKind::Zone: return "zone";
    case SceneKind::Loiter: return "loiter";
    case SceneKind::LeftObject: return "left-object";
    case SceneKind::Nuisance: return "nuisance";
    case SceneKind::CrossingPaths: return "crossing-paths";
    case SceneKind::Shadows: return "shadows";
    case SceneKind::Group: return "group";
    case SceneKind::LowContrast: return "low-contrast";
    case SceneKind::Busy: return "busy";
    case SceneKind::SideBySide: return "side-by-side";
    case SceneKind::MeetAndPart: return "meet-and-part";
    case SceneKind::Vehicles: return "vehicles";
    case SceneKind::Exposure: return "exposure";
    case SceneKind::Stayers: return "stayers";
    case SceneKind::LowSun: return "low-sun";
    case SceneKind::Couple: return "couple";
    }
    return "?";
}

cv::Size standard_size(SceneKind kind)
{
    return kind == SceneKind::Busy ? cv::Size(1280, 720) : cv::Size(640, 360);
}

Scene make_scene(SceneKind kind, uint32_t seed, int width, int height)
{
    Builder b(kind, seed, width, height);
    switch (kind) {
    case SceneKind::TwoWayLine: return two_way_line(b);
    case SceneKind::OneWayLine: return one_way_line(b);
    case SceneKind::Zone: return zone(b);
    case SceneKind::Loiter: return loiter(b);
    case SceneKind::LeftObject: return left_object(b);
    case SceneKind::Nuisance: return nuisance(b);
    case SceneKind::CrossingPaths: return crossing_paths(b);
    case SceneKind::Couple: return couple(b);
    case SceneKind::Shadows: return shadows(b);
    case SceneKind::Group: return group(b);
    case SceneKind::LowContrast: return low_contrast(b);
    case SceneKind::Busy: return busy(b);
    case SceneKind::SideBySide: return side_by_side(b);
    case SceneKind::MeetAndPart: return meet_and_part(b);
    case SceneKind::Vehicles: return vehicles(b);
    case SceneKind::Exposure: return exposure(b);
    case SceneKind::Stayers: return stayers(b);
    case SceneKind::LowSun: return low_sun(b);
    }
    return b.done();
}

}  // namespace qvs
