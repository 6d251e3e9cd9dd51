// Person: head, torso, two arms and two legs; the legs and arms swing with the
// distance walked and the upper body sways a little. The feet always touch the
// path point, so the box's bottom centre is the true reference point.
#include "tests/scenes/figure_shape.h"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace qvs {
namespace {

struct Pose {
    float leg_angle;  // radians, front leg forward
    float sway;       // px, upper body sideways
};

Pose pose_at(const Figure &f, int frame)
{
    float walked = 0;
    bool moving = false;
    for (size_t i = 0; i + 1 < f.path.size(); ++i) {
        const Waypoint &a = f.path[i], &b = f.path[i + 1];
        if (frame <= a.frame)
            break;
        const float len = float(cv::norm(b.foot - a.foot));
        const float t = std::min(1.f, float(frame - a.frame) / float(std::max(1, b.frame - a.frame)));
        walked += len * t;
        if (frame < b.frame)
            moving = len > 0.5f;
    }
    const float phase = float(2 * CV_PI) * walked / (0.8f * f.height);
    if (!moving)  // standing: legs together, a slow idle sway
        return {0.f, 0.006f * f.height * float(std::sin(2 * CV_PI * frame / 80.0))};
    return {0.32f * std::sin(phase), 0.012f * f.height * std::sin(phase)};
}

// Draws the person with foot at `foot`; `mask` paints every part 255.
void paint_person(cv::Mat &img, const Figure &f, cv::Point2f foot, const Pose &p, bool mask)
{
    const float h = f.height;
    const float leg = 0.47f * h;
    const int leg_w = std::max(2, int(std::lround(0.075f * h)));
    const int arm_w = std::max(1, int(std::lround(0.045f * h)));
    const float hip_y = foot.y - leg * std::cos(p.leg_angle);
    const cv::Scalar legs(mask ? 255 : f.legs), torso(mask ? 255 : f.torso), head(mask ? 255 : f.head),
        shoes(mask ? 255 : f.shoes);
    auto pt = [](float x, float y) { return cv::Point(int(std::lround(x)), int(std::lround(y))); };

    // Legs end half a stroke (and the pixel the box edge adds) above the ground, so
    // their round caps and the shoes stop at the feet.
    const float reach = leg - leg_w * 0.5f - 1.f;
    for (int s = -1; s <= 1; s += 2) {
        const float a = s * p.leg_angle;
        const float fx = foot.x + reach * std::sin(a);
        cv::line(img, pt(foot.x + s * 0.03f * h, hip_y), pt(fx, hip_y + reach * std::cos(a)), legs, leg_w);
        cv::ellipse(img, cv::RotatedRect({fx + 0.02f * h, foot.y - 0.025f * h - 1.f}, {0.11f * h, 0.05f * h}, 0), shoes,
                    cv::FILLED);
    }
    const float cx = foot.x + p.sway;
    for (int s = -1; s <= 1; s += 2) {
        const float a = -s * 0.8f * p.leg_angle;
        const float sx = cx + s * 0.12f * h, sy = hip_y - 0.33f * h;
        cv::line(img, pt(sx, sy), pt(sx + 0.3f * h * std::sin(a), sy + 0.3f * h * std::cos(a)), torso, arm_w);
    }
    cv::ellipse(img, cv::RotatedRect({cx, hip_y - 0.17f * h}, {0.25f * h, 0.41f * h}, 0), torso, cv::FILLED);
    cv::ellipse(img, cv::RotatedRect({cx, hip_y - 0.445f * h}, {0.13f * h, 0.15f * h}, 0), head, cv::FILLED);
}

cv::Rect bag_rect(const Figure &f, cv::Point2f foot)
{
    const int w = int(std::lround(1.3f * f.height)), h = int(std::lround(f.height));
    return {int(std::lround(foot.x - w / 2.f)), int(std::lround(foot.y)) - h, w, h};
}

}  // namespace

void draw_shape(cv::Mat &canvas, const Figure &f, int frame)
{
    const cv::Point2f foot = f.foot_at(frame);
    if (f.kind == FigureKind::Bag) {
        const cv::Rect r = bag_rect(f, foot);
        cv::rectangle(canvas, r, cv::Scalar(f.torso), cv::FILLED);
        cv::rectangle(canvas, r, cv::Scalar(f.legs), std::max(1, r.height / 8));
        return;
    }
    paint_person(canvas, f, foot, pose_at(f, frame), false);
}

cv::Rect shape_box(const Figure &f, int frame)
{
    const cv::Point2f foot = f.foot_at(frame);
    if (f.kind == FigureKind::Bag)
        return bag_rect(f, foot);
    // Paint into a small local mask around the feet and take the painted extent.
    const int half = int(std::ceil(0.6f * f.height)) + 4, tall = int(std::ceil(1.1f * f.height)) + 4;
    const cv::Point origin(int(std::floor(foot.x)) - half, int(std::floor(foot.y)) - tall);
    cv::Mat mask(tall + 4, 2 * half, CV_8U, cv::Scalar(0));
    paint_person(mask, f, foot - cv::Point2f(origin), pose_at(f, frame), true);
    return cv::boundingRect(mask) + origin;
}

}  // namespace qvs
