// Person: head, torso, two arms and two legs; the legs and arms swing with the
// distance walked and the upper body sways a little. The feet always touch the
// path point, so the box's bottom centre is the true reference point.
#include "tests/scenes/figure_shape.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace qvs {
namespace {

struct Pose {
    float leg_angle;  // radians, front leg forward
    float sway;       // px, upper body sideways
    float turn = 0;   // 0 facing the camera, 1 side on: the body looks narrower
    float bend = 0;   // radians the upper body leans over, about the hips
    float reach = 0;  // radians the arms are raised out to the sides
};

// Someone busy at a table: turns, bends over and reaches out, each on its own slow
// period, easing in after arriving and out before leaving (`ease` 0 to 1).
Pose busy_pose(const Figure &f, int since, float ease)
{
    const double t = 2 * CV_PI * since;
    Pose p{0.f, 0.006f * f.height * float(std::sin(t / 80.0))};
    p.turn = ease * float(0.5 - 0.5 * std::cos(t / 170.0));
    const float lean = float(std::max(0.0, std::sin(t / 230.0)));
    p.bend = ease * 0.55f * lean * lean;
    p.reach = ease * 1.3f * float(0.5 - 0.5 * std::cos(t / 64.0));
    return p;
}

Pose pose_at(const Figure &f, int frame)
{
    float walked = 0;
    bool moving = false;
    int stood = 0, left = 0;  // frames since standing began, and until it ends
    for (size_t i = 0; i + 1 < f.path.size(); ++i) {
        const Waypoint &a = f.path[i], &b = f.path[i + 1];
        if (frame <= a.frame)
            break;
        const float len = float(cv::norm(b.foot - a.foot));
        const float t = std::min(1.f, float(frame - a.frame) / float(std::max(1, b.frame - a.frame)));
        walked += len * t;
        if (frame < b.frame) {
            moving = len > 0.5f;
            stood = frame - a.frame;
            left = b.frame - frame;
        }
    }
    const float h = f.height_at(frame);
    const float phase = float(2 * CV_PI) * walked / (0.8f * h);
    if (!moving && f.busy)
        return busy_pose(f, stood, std::min(1.f, float(std::min(stood, left)) / 20.f));
    if (!moving)  // standing: legs together, a slow idle sway
        return {0.f, 0.006f * h * float(std::sin(2 * CV_PI * frame / 80.0))};
    return {0.32f * std::sin(phase), 0.012f * h * std::sin(phase)};
}

// Draws the person, `h` tall, with foot at `foot`; `mask` paints every part 255.
void paint_person(cv::Mat &img, const Figure &f, float h, cv::Point2f foot, const Pose &p, bool mask)
{
    const float leg = 0.47f * h;
    const int leg_w = std::max(2, int(std::lround(0.075f * h)));
    const int arm_w = std::max(1, int(std::lround(0.045f * h)));
    const float hip_y = foot.y - leg * std::cos(p.leg_angle);
    const float narrow = 1.f - p.turn;  // side on, the shoulders and hips line up
    const cv::Scalar legs(mask ? 255 : f.legs), torso(mask ? 255 : f.torso), head(mask ? 255 : f.head),
        shoes(mask ? 255 : f.shoes);
    auto pt = [](float x, float y) { return cv::Point(int(std::lround(x)), int(std::lround(y))); };

    // Legs end half a stroke (and the pixel the box edge adds) above the ground, so
    // their round caps and the shoes stop at the feet.
    const float reach = leg - leg_w * 0.5f - 1.f;
    for (int s = -1; s <= 1; s += 2) {
        const float a = s * p.leg_angle;
        const float fx = foot.x + reach * std::sin(a);
        cv::line(img, pt(foot.x + s * 0.03f * h * narrow, hip_y), pt(fx, hip_y + reach * std::cos(a)), legs, leg_w);
        cv::ellipse(img, cv::RotatedRect({fx + 0.02f * h, foot.y - 0.025f * h - 1.f}, {0.11f * h, 0.05f * h}, 0), shoes,
                    cv::FILLED);
    }
    // The upper body, drawn upright around the hips and then leant over by `bend`.
    const cv::Point2f hip(foot.x + p.sway, hip_y);
    const float sb = std::sin(p.bend), cb = std::cos(p.bend);
    auto upper = [&](float dx, float dy) { return hip + cv::Point2f(dx * cb - dy * sb, dx * sb + dy * cb); };
    const float degrees = p.bend * float(180 / CV_PI);
    for (int s = -1; s <= 1; s += 2) {
        // Arms hang from the shoulders whatever the lean, swinging or raised outwards.
        const float a = -s * 0.8f * p.leg_angle + s * p.reach;
        const cv::Point2f sh = upper(s * 0.12f * h * (1.f - 0.6f * p.turn), -0.33f * h);
        cv::line(img, pt(sh.x, sh.y), pt(sh.x + 0.3f * h * std::sin(a), sh.y + 0.3f * h * std::cos(a)), torso, arm_w);
    }
    cv::ellipse(img, cv::RotatedRect(upper(0, -0.17f * h), {0.25f * h * (1.f - 0.45f * p.turn), 0.41f * h}, degrees),
                torso, cv::FILLED);
    cv::ellipse(img, cv::RotatedRect(upper(0, -0.445f * h), {0.13f * h, 0.15f * h}, degrees), head, cv::FILLED);
}

// A bag, or a vehicle seen from above: a box standing on the reference point.
cv::Rect box_shape(const Figure &f, cv::Point2f foot, float h)
{
    const float length = f.kind == FigureKind::Vehicle ? 2.2f : 1.3f;
    const int w = int(std::lround(length * h)), hi = int(std::lround(h));
    return {int(std::lround(foot.x - w / 2.f)), int(std::lround(foot.y)) - hi, w, hi};
}

// Body, with a windscreen and a rear window across it and the roof between.
void paint_vehicle(cv::Mat &img, const Figure &f, const cv::Rect &r)
{
    cv::rectangle(img, r, cv::Scalar(f.torso), cv::FILLED);
    const int inset = std::max(1, r.height / 8);
    const cv::Rect glass(r.x + r.width / 4, r.y + inset, r.width / 2, r.height - 2 * inset);
    cv::rectangle(img, glass, cv::Scalar(f.legs), cv::FILLED);
    const cv::Rect roof(glass.x + glass.width / 5, glass.y, 3 * glass.width / 5, glass.height);
    cv::rectangle(img, roof, cv::Scalar(f.head), cv::FILLED);
}

}  // namespace

void draw_shape(cv::Mat &canvas, const Figure &f, int frame)
{
    const cv::Point2f foot = f.foot_at(frame);
    const float h = f.height_at(frame);
    if (f.kind == FigureKind::Vehicle) {
        paint_vehicle(canvas, f, box_shape(f, foot, h));
        return;
    }
    if (f.kind == FigureKind::Bag) {
        const cv::Rect r = box_shape(f, foot, h);
        cv::rectangle(canvas, r, cv::Scalar(f.torso), cv::FILLED);
        cv::rectangle(canvas, r, cv::Scalar(f.legs), std::max(1, r.height / 8));
        return;
    }
    paint_person(canvas, f, h, foot, pose_at(f, frame), false);
}

cv::Rect shape_box(const Figure &f, int frame)
{
    const cv::Point2f foot = f.foot_at(frame);
    const float h = f.height_at(frame);
    if (f.kind != FigureKind::Person)
        return box_shape(f, foot, h);
    // Paint into a small local mask around the feet and take the painted extent.
    const int half = int(std::ceil(0.6f * h)) + 4, tall = int(std::ceil(1.1f * h)) + 4;
    const cv::Point origin(int(std::floor(foot.x)) - half, int(std::floor(foot.y)) - tall);
    cv::Mat mask(tall + 4, 2 * half, CV_8U, cv::Scalar(0));
    paint_person(mask, f, h, foot - cv::Point2f(origin), pose_at(f, frame), true);
    return cv::boundingRect(mask) + origin;
}

}  // namespace qvs
