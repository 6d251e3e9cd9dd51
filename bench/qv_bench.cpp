// Times qv_detect on generated 1920x1080 frames of a moving scene, and in the same
// run the pipeline a typical user would write with OpenCV (MOG2 with defaults on the
// full frame, opening and closing, contours). Prints median and p95 per frame on one
// core, their ratio, and the detector handle's memory and its growth over the frames.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <memory>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/background_segm.hpp>

#include "detector/quorvane.h"
#include "driver/detector_settings.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kWarmup = 30;

struct Walker {
    cv::Point2f start;
    cv::Point2f velocity;
    cv::Size size;
    int grey;
};

// A textured ground with some structure, then walkers crossing it and sensor noise.
class SceneMaker {
public:
    explicit SceneMaker(uint64_t seed) : rng_(seed)
    {
        cv::Mat fine(kHeight, kWidth, CV_8U), coarse(kHeight / 16, kWidth / 16, CV_8U);
        rng_.fill(fine, cv::RNG::UNIFORM, 60, 140);
        rng_.fill(coarse, cv::RNG::UNIFORM, 40, 200);
        cv::GaussianBlur(fine, fine, cv::Size(5, 5), 1.5);
        cv::resize(coarse, coarse, fine.size(), 0, 0, cv::INTER_CUBIC);
        cv::addWeighted(fine, 0.5, coarse, 0.5, 0, background_);
        for (int i = 0; i < 12; ++i)
            cv::rectangle(background_, cv::Rect(rng_.uniform(0, kWidth - 200), rng_.uniform(0, kHeight - 200),
                                                rng_.uniform(40, 200), rng_.uniform(40, 200)),
                          cv::Scalar(rng_.uniform(30, 220)), cv::FILLED);
        for (int i = 0; i < 6; ++i) {
            const int h = rng_.uniform(60, 360);
            walkers_.push_back({cv::Point2f(rng_.uniform(0, kWidth), rng_.uniform(h, kHeight)),
                                cv::Point2f(rng_.uniform(-6.0f, 6.0f), rng_.uniform(-1.5f, 1.5f)),
                                cv::Size(h * 3 / 10, h), rng_.uniform(0, 2) ? rng_.uniform(10, 50)
                                                                            : rng_.uniform(180, 250)});
        }
        noise_.create(kHeight + 64, kWidth, CV_8S);
        rng_.fill(noise_, cv::RNG::NORMAL, 0, 3);
    }

    void render(int frame, cv::Mat &grey)
    {
        background_.copyTo(grey);
        for (const Walker &w : walkers_) {
            cv::Point2f p = w.start + w.velocity * static_cast<float>(frame);
            p.x = std::fmod(std::fmod(p.x, kWidth + w.size.width) + kWidth + w.size.width, kWidth + w.size.width) -
                  w.size.width;
            const cv::Rect body(cv::Point(cvRound(p.x), cvRound(p.y) - w.size.height), w.size);
            cv::ellipse(grey, cv::RotatedRect(cv::Point2f(body.x + body.width / 2.0f, body.y + body.height * 0.55f),
                                              cv::Size2f(body.width, body.height * 0.9f), 0),
                        cv::Scalar(w.grey), cv::FILLED);
            cv::circle(grey, cv::Point(body.x + body.width / 2, body.y + body.width / 3), body.width / 3,
                       cv::Scalar(w.grey), cv::FILLED);
        }
        cv::Mat shifted;
        cv::add(grey, noise_.rowRange(frame % 64, frame % 64 + kHeight), shifted, cv::noArray(), CV_8U);
        shifted.copyTo(grey);
    }

private:
    cv::RNG rng_;
    cv::Mat background_;
    cv::Mat noise_;
    std::vector<Walker> walkers_;
};

struct Figures {
    double median_ms;
    double p95_ms;
};

Figures summarise(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    const size_t n = times.size();
    return {times[n / 2], times[std::min(n - 1, (n * 95) / 100)]};
}

double ms_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

size_t heap_in_use()
{
    return mallinfo2().uordblks;
}

} // namespace

int main(int argc, char **argv)
{
    const int frames = argc > 1 ? std::max(kWarmup + 10, std::atoi(argv[1])) : 400;
    cv::setNumThreads(1); // one core for both; the detector itself starts no threads
    SceneMaker scene(12345);
    cv::Mat grey(kHeight, kWidth, CV_8U);
    scene.render(0, grey);

    // The detector.
    const size_t heap_before = heap_in_use();
    void *handle = nullptr;
    qv_init(&handle, demo_detector_config(grey));
    if (handle == nullptr) {
        std::fprintf(stderr, "qv_bench: qv_init failed\n");
        return 1;
    }
    qv_region line{};
    line.kind = QV_REGION_LINE_TWO_WAY;
    line.point_count = 2;
    line.points[0] = {kWidth / 2, kHeight / 4};
    line.points[1] = {kWidth / 2, kHeight * 3 / 4};
    if (qv_init_region(handle, 1, &line, 0) == 0) {
        std::fprintf(stderr, "qv_bench: qv_init_region failed\n");
        return 1;
    }
    const size_t heap_after_init = heap_in_use();
    auto result = std::make_unique<qv_result>();
    std::vector<double> detect_ms;
    size_t heap_after_warmup = 0;
    long objects = 0;
    for (int i = 0; i < frames; ++i) {
        scene.render(i, grey);
        const auto t0 = std::chrono::steady_clock::now();
        qv_detect(handle, qv_image(kWidth, kHeight, 1, grey.data), &line, result.get());
        const double ms = ms_since(t0);
        if (i == kWarmup - 1)
            heap_after_warmup = heap_in_use();
        if (i >= kWarmup) {
            detect_ms.push_back(ms);
            objects += result->count;
        }
    }
    const size_t heap_end = heap_in_use();

    // The baseline.
    cv::Ptr<cv::BackgroundSubtractorMOG2> mog = cv::createBackgroundSubtractorMOG2();
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(5, 5));
    cv::Mat mask;
    std::vector<std::vector<cv::Point>> contours;
    std::vector<double> baseline_ms;
    long baseline_boxes = 0;
    for (int i = 0; i < frames; ++i) {
        scene.render(i, grey);
        const auto t0 = std::chrono::steady_clock::now();
        mog->apply(grey, mask);
        cv::morphologyEx(mask, mask, cv::MORPH_OPEN, kernel);
        cv::morphologyEx(mask, mask, cv::MORPH_CLOSE, kernel);
        cv::findContours(mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
        int boxes = 0;
        for (const auto &c : contours)
            boxes += cv::boundingRect(c).area() >= 400;
        const double ms = ms_since(t0);
        if (i >= kWarmup) {
            baseline_ms.push_back(ms);
            baseline_boxes += boxes;
        }
    }

    const Figures d = summarise(detect_ms), b = summarise(baseline_ms);
    const int timed = frames - kWarmup;
    std::printf("frames: %d of %dx%d (first %d not timed), OpenCV threads: %d\n", timed, kWidth, kHeight, kWarmup,
                cv::getNumThreads());
    std::printf("qv_detect:            median %.3f ms  p95 %.3f ms  (%.1f objects per frame)\n", d.median_ms,
                d.p95_ms, static_cast<double>(objects) / timed);
    std::printf("MOG2+morphology+contours: median %.3f ms  p95 %.3f ms  (%.1f boxes per frame)\n", b.median_ms,
                b.p95_ms, static_cast<double>(baseline_boxes) / timed);
    std::printf("ratio baseline/qv_detect: median %.1fx  p95 %.1fx\n", b.median_ms / d.median_ms,
                b.p95_ms / d.p95_ms);
    std::printf("handle memory: %.2f MB after qv_init, %+.1f KB more after %d frames of warm-up, %+.1f KB over the "
                "%d timed frames\n",
                (static_cast<double>(heap_after_init) - heap_before) / (1024.0 * 1024.0),
                (static_cast<double>(heap_after_warmup) - heap_after_init) / 1024.0, kWarmup,
                (static_cast<double>(heap_end) - heap_after_warmup) / 1024.0, timed);
    return 0;
}
