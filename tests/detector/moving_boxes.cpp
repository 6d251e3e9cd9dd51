#include "tests/detector/moving_boxes.h"

#include <gtest/gtest.h>

#include <cmath>

#include <opencv2/imgproc.hpp>

namespace qvt {

Mover &Mover::at(int frame, float x, float y)
{
    keys.push_back({frame, {x, y}});
    return *this;
}

bool Mover::present(int frame) const
{
    return !keys.empty() && frame >= keys.front().frame && frame <= keys.back().frame;
}

cv::Point2f Mover::foot(int frame) const
{
    for (size_t i = 1; i < keys.size(); ++i) {
        if (frame <= keys[i].frame) {
            const Key &a = keys[i - 1], &b = keys[i];
            const float t = b.frame == a.frame ? 1.0f : float(frame - a.frame) / float(b.frame - a.frame);
            return a.foot + (b.foot - a.foot) * t;
        }
    }
    return keys.back().foot;
}

BoxScene::BoxScene(unsigned seed) : seed_(seed)
{
    cv::RNG rng(seed);
    cv::Mat fine(kHeight, kWidth, CV_8U);
    rng.fill(fine, cv::RNG::UNIFORM, 70, 140);
    cv::GaussianBlur(fine, background_, cv::Size(5, 5), 1.2);
}

float BoxScene::gain(int frame) const
{
    float g = 1.0f;
    for (const Exposure &e : exposure_) {
        if (frame >= e.frame + e.ramp)
            g = e.gain;
        else if (frame > e.frame)
            g += (e.gain - g) * float(frame - e.frame) / float(e.ramp);
    }
    return g;
}

void BoxScene::render(int frame, cv::Mat &grey) const
{
    background_.copyTo(grey);
    for (const Mover &m : movers_) {
        if (m.shadow <= 0 || !m.present(frame))
            continue;
        const cv::Point2f f = m.foot(frame);
        const cv::Rect area = cv::Rect(cvRound(f.x) + m.shadow_offset.x, cvRound(f.y) + m.shadow_offset.y,
                                       m.shadow_size.width, m.shadow_size.height) &
                              cv::Rect(0, 0, grey.cols, grey.rows);
        cv::Mat ground = grey(area);
        ground.convertTo(ground, CV_8U, m.shadow);
    }
    for (const Mover &m : movers_) {
        if (!m.present(frame))
            continue;
        const cv::Point2f f = m.foot(frame);
        const cv::Rect box(cvRound(f.x - m.size.width / 2.0f), cvRound(f.y) - m.size.height, m.size.width,
                           m.size.height);
        cv::rectangle(grey, box, cv::Scalar(m.grey), cv::FILLED);
        for (const Mover::Patch &p : m.patches) {
            if (p.period > 0 && frame % p.period < p.period / 2)
                continue;
            const cv::Rect patch(box.x + cvRound(p.at.x * box.width), box.y + cvRound(p.at.y * box.height),
                                 cvRound(p.at.width * box.width), cvRound(p.at.height * box.height));
            cv::rectangle(grey, patch & cv::Rect(0, 0, grey.cols, grey.rows), cv::Scalar(p.grey), cv::FILLED);
        }
    }
    const float g = gain(frame);
    if (g != 1.0f) {
        const double power = std::log(std::min(100.0 * g, 254.0) / 255.0) / std::log(100.0 / 255.0);
        cv::Mat curve(1, 256, CV_8U);
        for (int v = 0; v < 256; ++v)
            curve.at<uchar>(v) = cv::saturate_cast<uchar>(255.0 * std::pow(v / 255.0, power));
        cv::LUT(grey, curve, grey);
    }
    cv::Mat noise(grey.size(), CV_8S);
    cv::RNG rng(seed_ * 7919u + static_cast<unsigned>(frame));
    rng.fill(noise, cv::RNG::NORMAL, 0, 2);
    cv::add(grey, noise, grey, cv::noArray(), CV_8U);
}

qv_region line_region(int kind, cv::Point a, cv::Point b)
{
    return polygon_region(kind, {a, b});
}

qv_region polygon_region(int kind, const std::vector<cv::Point> &points)
{
    qv_region r{};
    r.kind = kind;
    r.point_count = static_cast<int32_t>(points.size());
    for (size_t i = 0; i < points.size() && i < QV_MAX_REGION_POINTS; ++i)
        r.points[i] = {points[i].x, points[i].y};
    return r;
}

void keep_handle(void *handle)
{
    // Never destroyed: static destructors run before the leak check.
    static auto *kept = new std::vector<void *>;
    if (handle != nullptr)
        kept->push_back(handle);
}

Runner::~Runner()
{
    keep_handle(handle_);
}

Runner::Runner(const BoxScene &scene, std::vector<qv_region> regions)
    : scene_(scene), regions_(std::move(regions)), result_(std::make_unique<qv_result>())
{
}

void Runner::run(int frames)
{
    for (int i = 0; i < frames; ++i) {
        scene_.render(i, grey_);
        if (handle_ == nullptr) {
            qv_init(&handle_, demo_detector_config(grey_));
            ASSERT_NE(handle_, nullptr);
            if (!regions_.empty()) {
                ASSERT_NE(qv_init_region(handle_, static_cast<int32_t>(regions_.size()), regions_.data(), 0), 0);
            }
        }
        qv_detect(handle_, qv_image(grey_.cols, grey_.rows, 1, grey_.data), regions_.data(), result_.get());
        ASSERT_GE(result_->count, 0);
        ASSERT_LE(result_->count, QV_MAX_OBJECTS);
        std::vector<Seen> seen;
        for (int k = 0; k < result_->count; ++k)
            seen.push_back({i, result_->objects[k]});
        frames_.push_back(std::move(seen));
    }
}

std::vector<cv::Vec3i> Runner::events(int region) const
{
    std::vector<cv::Vec3i> out;
    for (const auto &frame : frames_)
        for (const Seen &s : frame)
            if (s.object.region_event[region] != 0)
                out.emplace_back(s.frame, s.object.id, s.object.region_event[region]);
    return out;
}

} // namespace qvt
