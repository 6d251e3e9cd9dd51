// Scene rendering and ground truth.
#include "tests/scenes/scene.h"

#include "tests/scenes/figure_shape.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace qvs {
namespace {

uint64_t mix(uint64_t a, uint64_t b)
{
    // splitmix64 over the pair: decorrelates per-frame generators of neighbouring frames.
    uint64_t z = a * 0x9E3779B97F4A7C15ull + b + 0x632BE59BD9B4E019ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

cv::Mat make_background(int width, int height, uint32_t seed)
{
    cv::RNG rng(mix(seed, 0xB6));
    cv::Mat acc(height, width, CV_32F, cv::Scalar(125));
    // Large soft variations, mid-scale blotches, then fine static grain.
    const int scales[3][2] = {{40, 24}, {8, 10}, {1, 5}};
    for (const auto &s : scales) {
        cv::Mat small(std::max(2, height / s[0]), std::max(2, width / s[0]), CV_32F);
        rng.fill(small, cv::RNG::UNIFORM, -s[1], s[1]);
        cv::Mat up;
        cv::resize(small, up, acc.size(), 0, 0, s[0] > 1 ? cv::INTER_CUBIC : cv::INTER_NEAREST);
        acc += up;
    }
    // Man-made structure: kerbs and paving joints, a few blocks (doors, benches, walls).
    cv::Mat blocks(acc.size(), CV_32F, cv::Scalar(0));
    for (int i = 0; i < 6; ++i) {
        cv::Point a(rng.uniform(0, width), rng.uniform(0, height));
        cv::Size sz(rng.uniform(width / 20, width / 6), rng.uniform(height / 20, height / 6));
        cv::rectangle(blocks, cv::Rect(a, sz), cv::Scalar(rng.uniform(-30, 30)), cv::FILLED);
    }
    acc += blocks;
    for (int i = 0; i < 5; ++i) {
        int y = rng.uniform(0, height);
        cv::line(acc, {0, y}, {width - 1, y + rng.uniform(-height / 10, height / 10)},
                 cv::Scalar(rng.uniform(80, 170)), std::max(1, height / 200));
    }
    cv::GaussianBlur(acc, acc, cv::Size(3, 3), 0.7);
    cv::Mat out;
    acc.convertTo(out, CV_8U);
    return out;
}

// Index of the segment (from path[i] to path[i+1]) that contains `frame`.
size_t segment_at(const std::vector<Waypoint> &path, int frame)
{
    size_t i = 0;
    while (i + 2 < path.size() && path[i + 1].frame < frame)
        ++i;
    return i;
}

double side_of(const Region &r, cv::Point2f p)
{
    const cv::Point2f p0 = r.points[0], p1 = r.points[1];
    const cv::Point2f d = p1 - p0;
    return double(d.x) * (p.y - p0.y) - double(d.y) * (p.x - p0.x);
}

// Whether the path from a to b meets the segment between the line's end points.
bool meets_segment(const Region &r, cv::Point2f a, cv::Point2f b)
{
    const cv::Point2f p0 = r.points[0], p1 = r.points[1];
    auto cross = [](cv::Point2f u, cv::Point2f v) { return double(u.x) * v.y - double(u.y) * v.x; };
    const cv::Point2f d = p1 - p0, e = b - a;
    const double den = cross(d, e);
    if (den == 0)
        return false;
    const double u = cross(a - p0, e) / den;  // position along the line segment
    return u >= 0 && u <= 1;
}

bool inside(const Region &r, cv::Point2f p)
{
    return cv::pointPolygonTest(r.points, p, false) > 0;
}

constexpr int kNoiseMargin = 64;
constexpr double kNoiseScale = 8.0;

// Generating fresh normal noise for every frame costs more than the rest of the
// rendering; shifted windows of one larger field are as good for a detector.
cv::Mat make_noise(int width, int height, uint32_t seed)
{
    // Stored as 8-bit around 128 so that adding it is one vectorised pass.
    cv::Mat noise(height + kNoiseMargin, width + kNoiseMargin, CV_8U);
    cv::RNG rng(mix(seed, 0x4015E));
    rng.fill(noise, cv::RNG::NORMAL, 128, kNoiseScale);
    return noise;
}

}  // namespace

int Figure::walk_to(cv::Point2f to, float speed)
{
    const Waypoint &last = path.back();
    const float dist = float(cv::norm(to - last.foot));
    const int frames = std::max(1, int(std::lround(dist / std::max(speed, 0.05f))));
    path.push_back({last.frame + frames, to});
    return path.back().frame;
}

int Figure::stand(int frames)
{
    const Waypoint last = path.back();
    path.push_back({last.frame + frames, last.foot});
    return path.back().frame;
}

cv::Point2f Figure::foot_at(int frame) const
{
    if (path.size() == 1)
        return path[0].foot;
    const size_t i = segment_at(path, frame);
    const Waypoint &a = path[i], &b = path[i + 1];
    const float t = b.frame == a.frame ? 1.f : std::clamp(float(frame - a.frame) / float(b.frame - a.frame), 0.f, 1.f);
    return a.foot + (b.foot - a.foot) * t;
}

float Figure::height_at(int frame) const
{
    if (std::isnan(horizon))
        return height;
    return height * std::max(0.05f, (foot_at(frame).y - horizon) / (height_row - horizon));
}

Scene::Scene(std::string name, int width, int height, int frames, uint32_t seed)
    : name_(std::move(name)), width_(width), height_(height), frames_(frames), seed_(seed),
      background_(make_background(width, height, seed)), noise_(make_noise(width, height, seed))
{
}

int Scene::add_figure(Figure f)
{
    figures_.push_back(std::move(f));
    return int(figures_.size());
}

void Scene::add_region(int kind, std::vector<cv::Point> points)
{
    for (cv::Point &p : points) {
        p.x = std::clamp(p.x, 0, width_ - 1);
        p.y = std::clamp(p.y, 0, height_ - 1);
    }
    regions_.push_back({kind, std::move(points)});
}

double Scene::gain_at(int frame) const
{
    const auto &g = effects_.gain;
    if (g.empty())
        return 1.0;
    if (frame <= g.front().first)
        return g.front().second;
    for (size_t i = 0; i + 1 < g.size(); ++i) {
        if (frame <= g[i + 1].first) {
            const int span = g[i + 1].first - g[i].first;
            const double t = span > 0 ? double(frame - g[i].first) / span : 1.0;
            return g[i].second + (g[i + 1].second - g[i].second) * t;
        }
    }
    return g.back().second;
}

cv::Rect Scene::figure_box(int id, int frame) const
{
    const Figure &f = figure(id);
    if (!f.present(frame))
        return {};
    return shape_box(f, frame);
}

std::vector<TruthObject> Scene::truth(int frame) const
{
    std::vector<TruthObject> out;
    const cv::Rect all(0, 0, width_, height_);
    for (size_t i = 0; i < figures_.size(); ++i) {
        const Figure &f = figures_[i];
        if (!f.present(frame))
            continue;
        const cv::Rect box = shape_box(f, frame);
        const cv::Rect clipped = box & all;
        if (clipped.empty())
            continue;
        const bool visible = clipped.area() * 2 >= box.area() && clipped.height >= 8;
        out.push_back({int(i) + 1, f.kind, clipped, f.foot_at(frame), visible});
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const TruthObject &a, const TruthObject &b) { return a.foot.y < b.foot.y; });
    return out;
}

std::vector<TruthEvent> Scene::events() const
{
    std::vector<TruthEvent> out;
    for (size_t r = 0; r < regions_.size(); ++r) {
        const Region &reg = regions_[r];
        for (size_t i = 0; i < figures_.size(); ++i) {
            const Figure &f = figures_[i];
            const int id = int(i) + 1;
            const int first = f.first_frame(), last = std::min(f.last_frame(), frames_ - 1);
            if (reg.kind == 2 || reg.kind == 3) {
                cv::Point2f prev = f.foot_at(first);
                double prev_side = side_of(reg, prev);
                for (int t = first + 1; t <= last; ++t) {
                    const cv::Point2f p = f.foot_at(t);
                    const double s = side_of(reg, p);
                    if (s == 0)
                        continue;  // on the line: decided once it leaves
                    if (prev_side != 0 && (s > 0) != (prev_side > 0) && meets_segment(reg, prev, p)) {
                        if (reg.kind == 3)
                            out.push_back({t, int(r), 4, id});
                        else if (prev_side > 0)
                            out.push_back({t, int(r), 3, id});
                    }
                    prev = p;
                    prev_side = s;
                }
            } else if (reg.kind == 1) {
                bool was = inside(reg, f.foot_at(first));
                for (int t = first + 1; t <= last; ++t) {
                    const bool now = inside(reg, f.foot_at(t));
                    if (now != was)
                        out.push_back({t, int(r), now ? 1 : 2, id});
                    was = now;
                }
            } else if (reg.kind == 4 && f.kind == FigureKind::Person) {
                int run = 0;
                for (int t = first; t <= last; ++t) {
                    run = inside(reg, f.foot_at(t)) ? run + 1 : 0;
                    if (run == kLoiterFrames)
                        out.push_back({t, int(r), 5, id});
                }
            } else if (reg.kind == 5 && f.kind == FigureKind::Bag) {
                int still = 0;
                for (int t = first; t <= last; ++t) {
                    const bool moved = t > first && cv::norm(f.foot_at(t) - f.foot_at(t - 1)) > 0.01;
                    still = inside(reg, f.foot_at(t)) && !moved ? still + 1 : 0;
                    if (still == kLeftObjectFrames)
                        out.push_back({t, int(r), 6, id});
                }
            }
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const TruthEvent &a, const TruthEvent &b) { return a.frame < b.frame; });
    return out;
}

void Scene::draw_shadows(cv::Mat &canvas, int frame) const
{
    for (const Figure &f : figures_) {
        if (f.shadow <= 0 || f.kind != FigureKind::Person || !f.present(frame))
            continue;
        const cv::Point2f foot = f.foot_at(frame);
        const float height = f.height_at(frame);
        const cv::Point2f reach = f.shadow_dir * height;
        const float half_len = float(cv::norm(reach)) / 2, half_w = 0.09f * height;
        const float blur = std::max(1.f, f.shadow_blur * height);
        const int pad = int(half_len + half_w + 3 * blur) + 2;
        const cv::Point2f centre = foot + reach * 0.5f;
        const cv::Rect area = cv::Rect(int(centre.x) - pad, int(centre.y) - pad, 2 * pad, 2 * pad) &
                              cv::Rect(0, 0, width_, height_);
        if (area.empty())
            continue;
        cv::Mat mask(area.size(), CV_32F, cv::Scalar(0));
        const double angle = std::atan2(reach.y, reach.x) * 180.0 / CV_PI;
        cv::ellipse(mask, cv::RotatedRect(centre - cv::Point2f(area.tl()), {2 * half_len, 2 * half_w}, float(angle)),
                    cv::Scalar(f.shadow), cv::FILLED);
        cv::GaussianBlur(mask, mask, cv::Size(), blur);
        cv::Mat roi = canvas(area), lit;
        roi.convertTo(lit, CV_32F);
        lit = lit.mul(1.0 - mask);
        lit.convertTo(roi, CV_8U);
    }
}

void Scene::draw_foliage(cv::Mat &canvas, int frame) const
{
    const cv::Rect patch = effects_.foliage & cv::Rect(0, 0, width_, height_);
    if (patch.empty())
        return;
    // The leaves are fixed; the wind displaces them smoothly, differently per height.
    cv::Mat leaves(patch.size(), CV_8U, cv::Scalar(90));
    cv::RNG rng(mix(seed_, 0x1EAF));
    const int count = patch.area() / 60;
    for (int i = 0; i < count; ++i) {
        const cv::Point c(rng.uniform(0, patch.width), rng.uniform(0, patch.height));
        const int r = rng.uniform(2, 7);
        cv::circle(leaves, c, r, cv::Scalar(rng.uniform(30, 200)), cv::FILLED);
    }
    // Displacement: 3 sin(a_y + b_x) + sin(c_y) sideways, 1.5 sin(d_x) up and down;
    // the first term expanded so the per-pixel loop needs no trigonometry.
    const double t = 2 * CV_PI * frame / kFps;
    std::vector<float> sin_b(patch.width), cos_b(patch.width), vert(patch.width);
    for (int x = 0; x < patch.width; ++x) {
        sin_b[x] = float(std::sin(x * 0.02)), cos_b[x] = float(std::cos(x * 0.02));
        vert[x] = float(1.5 * std::sin(t * 0.9 + x * 0.04));
    }
    cv::Mat mapx(patch.size(), CV_32F), mapy(patch.size(), CV_32F);
    for (int y = 0; y < patch.height; ++y) {
        const float sa = float(3.0 * std::sin(t * 0.7 + y * 0.05)), ca = float(3.0 * std::cos(t * 0.7 + y * 0.05));
        const float side = float(std::sin(t * 2.3 + y * 0.2));
        float *mx = mapx.ptr<float>(y), *my = mapy.ptr<float>(y);
        for (int x = 0; x < patch.width; ++x) {
            mx[x] = float(x) + sa * cos_b[x] + ca * sin_b[x] + side;
            my[x] = float(y) + vert[x];
        }
    }
    cv::remap(leaves, canvas(patch), mapx, mapy, cv::INTER_LINEAR, cv::BORDER_REFLECT);
}

void Scene::render(int frame, cv::Mat &grey) const
{
    cv::Mat canvas = background_.clone();
    draw_foliage(canvas, frame);
    draw_shadows(canvas, frame);

    std::vector<const Figure *> order;
    for (const Figure &f : figures_)
        if (f.present(frame))
            order.push_back(&f);
    std::stable_sort(order.begin(), order.end(),
                     [frame](const Figure *a, const Figure *b) { return a->foot_at(frame).y < b->foot_at(frame).y; });
    for (const Figure *f : order)
        draw_shape(canvas, *f, frame);

    cv::RNG rng(mix(seed_, 0x10000u + uint64_t(frame)));
    const cv::Rect flicker = effects_.flicker & cv::Rect(0, 0, width_, height_);
    if (!flicker.empty()) {
        const double level = 1.0 + 0.2 * std::sin(2 * CV_PI * frame / 4.3) + rng.uniform(-0.15, 0.15);
        canvas(flicker).convertTo(canvas(flicker), CV_8U, level);
    }
    const double gain = gain_at(frame);
    if (gain != 1.0)
        canvas.convertTo(canvas, CV_8U, gain);

    if (effects_.shake_px > 0) {
        const double a = effects_.shake_px;
        const double dx = std::round(a * std::sin(2 * CV_PI * frame / 9.0 + seed_));
        const double dy = std::round(a * 0.7 * std::sin(2 * CV_PI * frame / 13.0 + 2.0 * seed_));
        const cv::Matx23d shift(1, 0, dx, 0, 1, dy);
        cv::Mat moved;
        cv::warpAffine(canvas, moved, shift, canvas.size(), cv::INTER_NEAREST, cv::BORDER_REFLECT);
        canvas = moved;
    }
    if (effects_.noise_sigma > 0) {
        const cv::Rect window(rng.uniform(0, kNoiseMargin), rng.uniform(0, kNoiseMargin), width_, height_);
        const double k = effects_.noise_sigma / kNoiseScale;
        cv::addWeighted(canvas, 1.0, noise_(window), k, -128.0 * k, canvas);
    }
    if (effects_.jpeg_quality > 0) {
        std::vector<uchar> bytes;
        cv::imencode(".jpg", canvas, bytes, {cv::IMWRITE_JPEG_QUALITY, effects_.jpeg_quality});
        canvas = cv::imdecode(bytes, cv::IMREAD_GRAYSCALE);
    }

    if (!grey.isContinuous())
        grey.release();
    grey.create(height_, width_, CV_8UC1);
    canvas.copyTo(grey);
}

}  // namespace qvs
