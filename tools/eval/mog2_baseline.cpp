#include "tools/eval/mog2_baseline.h"

#include "detector/quorvane.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace qvs {
namespace {

constexpr double kDeadBandPx = 3;  // the foot must be this far past a line or zone edge to change side
constexpr int kMaxMisses = 5;      // frames a track is kept unseen
constexpr double kMinIoU = 0.1;

cv::Point2f centre(const cv::Rect &r)
{
    return {r.x + r.width / 2.f, r.y + r.height / 2.f};
}

}  // namespace

Mog2Baseline::Mog2Baseline(cv::Size frame, std::vector<Region> regions)
    : mog_(cv::createBackgroundSubtractorMOG2()), regions_(std::move(regions))
{
    // Sizes such a user would pick for the picture: small kernels, and blobs of at least
    // 2e-4 of the frame (415 px at 1080p, a person about 40 px tall at 640x360).
    const int k = frame.height >= 720 ? 5 : 3;
    open_kernel_ = cv::getStructuringElement(cv::MORPH_ELLIPSE, {3, 3});
    close_kernel_ = cv::getStructuringElement(cv::MORPH_ELLIPSE, {k, k});
    min_area_ = 2e-4 * frame.area();
}

std::vector<cv::Rect> Mog2Baseline::blobs(const cv::Mat &frame)
{
    mog_->apply(frame, mask_);
    cv::threshold(mask_, mask_, 200, 255, cv::THRESH_BINARY);  // shadows are marked 127
    cv::morphologyEx(mask_, mask_, cv::MORPH_OPEN, open_kernel_);
    cv::morphologyEx(mask_, mask_, cv::MORPH_CLOSE, close_kernel_);
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(mask_, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    std::vector<cv::Rect> boxes;
    for (const auto &c : contours)
        if (cv::contourArea(c) >= min_area_)
            boxes.push_back(cv::boundingRect(c));
    return boxes;
}

std::vector<Reported> Mog2Baseline::detect(const cv::Mat &frame)
{
    const std::vector<cv::Rect> boxes = blobs(frame);

    // Nearest box first: overlapping pairs by IoU, then pairs whose centres are within
    // half the track's size.
    struct Pair {
        double score;
        size_t t, b;
    };
    std::vector<Pair> pairs;
    for (size_t t = 0; t < tracks_.size(); ++t)
        for (size_t b = 0; b < boxes.size(); ++b) {
            const double overlap = iou(tracks_[t].box, boxes[b]);
            const double reach = 0.5 * std::max(tracks_[t].box.width, tracks_[t].box.height);
            const double dist = cv::norm(centre(tracks_[t].box) - centre(boxes[b]));
            if (overlap >= kMinIoU)
                pairs.push_back({1 + overlap, t, b});
            else if (dist <= reach)
                pairs.push_back({1 - dist / reach, t, b});
        }
    std::sort(pairs.begin(), pairs.end(), [](const Pair &a, const Pair &b) { return a.score > b.score; });
    std::vector<int> box_of(tracks_.size(), -1);
    std::vector<bool> box_used(boxes.size());
    for (const Pair &p : pairs)
        if (box_of[p.t] < 0 && !box_used[p.b]) {
            box_of[p.t] = int(p.b);
            box_used[p.b] = true;
        }

    std::vector<Reported> out;
    std::vector<Track> kept;
    for (size_t t = 0; t < tracks_.size(); ++t) {
        Track &track = tracks_[t];
        if (box_of[t] < 0) {
            if (++track.misses <= kMaxMisses)
                kept.push_back(std::move(track));
            continue;
        }
        track.box = boxes[size_t(box_of[t])];
        track.misses = 0;
        out.emplace_back();
        judge(track, out.back());
        kept.push_back(std::move(track));
    }
    for (size_t b = 0; b < boxes.size(); ++b)
        if (!box_used[b]) {
            Track track;
            track.id = next_id_++;
            track.box = boxes[b];
            track.side.assign(regions_.size(), 0);
            track.inside_for.assign(regions_.size(), 0);
            out.emplace_back();
            judge(track, out.back());
            kept.push_back(std::move(track));
        }
    tracks_ = std::move(kept);
    return out;
}

void Mog2Baseline::judge(Track &t, Reported &out)
{
    ++t.seen;
    out.id = t.id;
    out.box = t.box;
    out.track_length = std::min(t.seen, QV_MAX_TRACK);
    const cv::Point2f foot(t.box.x + t.box.width / 2.f, float(t.box.y + t.box.height));
    out.track_last = cv::Point(foot);
    out.flag.assign(regions_.size(), 0);
    out.event.assign(regions_.size(), 0);
    for (size_t r = 0; r < regions_.size(); ++r) {
        const Region &region = regions_[r];
        int &side = t.side[r];
        if (region.kind == QV_REGION_LINE_ONE_WAY || region.kind == QV_REGION_LINE_TWO_WAY) {
            const cv::Point2f p0(region.points[0]), d = cv::Point2f(region.points[1]) - p0;
            const double length = cv::norm(d);
            const double s = (d.x * (foot.y - p0.y) - d.y * (foot.x - p0.x)) / length;
            const double along = (foot - p0).dot(d) / (length * length);
            const int now = s > kDeadBandPx ? 1 : s < -kDeadBandPx ? -1 : 0;
            if (now == 0)
                continue;
            if (side != 0 && now != side && along >= 0 && along <= 1) {
                if (region.kind == QV_REGION_LINE_TWO_WAY)
                    out.event[r] = QV_EVENT_CROSS_TWO_WAY;
                else if (now < 0)
                    out.event[r] = QV_EVENT_CROSS_ONE_WAY;
            }
            side = now;
            continue;
        }
        if (region.kind != QV_REGION_ZONE && region.kind != QV_REGION_LOITER)
            continue;
        const double inside = cv::pointPolygonTest(region.points, foot, true);
        const int now = inside > kDeadBandPx ? 1 : inside < -kDeadBandPx ? -1 : side;
        if (region.kind == QV_REGION_ZONE) {
            if (side == -1 && now == 1)
                out.event[r] = QV_EVENT_ENTER;
            if (side == 1 && now == -1)
                out.event[r] = QV_EVENT_LEAVE;
            out.flag[r] = now == 1 || out.event[r] == QV_EVENT_LEAVE;
        } else {
            t.inside_for[r] = now == 1 ? t.inside_for[r] + 1 : 0;
            if (t.inside_for[r] == kLoiterFrames)
                out.event[r] = QV_EVENT_LOITER;
        }
        side = now;
    }
}

Run run_mog2_baseline(const Scene &scene)
{
    Run run;
    run.created = run.regions_accepted = true;
    Mog2Baseline baseline({scene.width(), scene.height()}, scene.regions());
    cv::Mat grey;
    for (int f = 0; f < scene.frame_count(); ++f) {
        scene.render(f, grey);
        run.frames.push_back(baseline.detect(grey));
    }
    return run;
}

}  // namespace qvs
