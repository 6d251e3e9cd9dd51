// Detector runs over scenes, and their scoring against ground truth.
#include "tests/scenes/evaluation.h"

#include "detector/quorvane.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <set>

namespace qvs {
namespace {

bool code_fits_kind(int code, int kind)
{
    switch (kind) {
    case QV_REGION_ZONE: return code == QV_EVENT_ENTER || code == QV_EVENT_LEAVE;
    case QV_REGION_LINE_ONE_WAY: return code == QV_EVENT_CROSS_ONE_WAY;
    case QV_REGION_LINE_TWO_WAY: return code == QV_EVENT_CROSS_TWO_WAY;
    case QV_REGION_LOITER: return code == QV_EVENT_LOITER;
    case QV_REGION_LEFT_OBJECT: return code == QV_EVENT_LEFT_OBJECT;
    }
    return false;
}

// Checks one frame's result against what every caller relies on; appends what is broken.
void check_result(const qv_result &res, const Scene &scene, int frame, std::vector<std::string> &faults)
{
    auto fault = [&](const std::string &what) {
        if (faults.size() < 10)
            faults.push_back("frame " + std::to_string(frame) + ": " + what);
    };
    if (res.count < 0 || res.count > QV_MAX_OBJECTS) {
        fault("count " + std::to_string(res.count));
        return;
    }
    const cv::Rect frame_rect(0, 0, scene.width(), scene.height());
    std::set<int> ids;
    for (int i = 0; i < res.count; ++i) {
        const qv_object &o = res.objects[i];
        const std::string who = "object " + std::to_string(o.id);
        if (o.id < 0 || !ids.insert(o.id).second)
            fault(who + ": negative or repeated id");
        const cv::Rect box(o.box.x, o.box.y, o.box.width, o.box.height);
        if (box.width <= 0 || box.height <= 0 || (box & frame_rect) != box)
            fault(who + ": box outside the frame");
        if (o.track_length < 0 || o.track_length > QV_MAX_TRACK) {
            fault(who + ": track_length " + std::to_string(o.track_length));
        } else {
            for (int t = 0; t < o.track_length; ++t)
                if (!frame_rect.contains({o.track[t].x, o.track[t].y})) {
                    fault(who + ": track point outside the frame");
                    break;
                }
        }
        for (size_t r = 0; r < scene.regions().size(); ++r) {
            const int kind = scene.regions()[r].kind;
            if (o.region_event[r] != 0 && !code_fits_kind(o.region_event[r], kind))
                fault(who + ": event " + std::to_string(o.region_event[r]) + " in a region of kind " +
                      std::to_string(kind));
            if (o.region_flag[r] > 1 || (o.region_flag[r] != 0 && kind != QV_REGION_ZONE))
                fault(who + ": region_flag " + std::to_string(o.region_flag[r]) + " in a region of kind " +
                      std::to_string(kind));
        }
    }
}

double ratio(double num, double den)
{
    return den > 0 ? num / den : 1.0;
}

// The library has no release call: a handle lives until the process ends, as in the
// demo. Keeping every handle reachable tells the leak checker that this is intended.
std::vector<void *> &live_handles()
{
    static auto *handles = new std::vector<void *>;  // never destroyed: still reachable at exit
    return *handles;
}

}  // namespace

double iou(const cv::Rect &a, const cv::Rect &b)
{
    const double inter = (a & b).area();
    const double uni = double(a.area()) + b.area() - inter;
    return uni > 0 ? inter / uni : 0;
}

void keep_handle(void *handle)
{
    live_handles().push_back(handle);
}

std::vector<DetectedEvent> Run::events() const
{
    std::vector<DetectedEvent> out;
    for (size_t f = 0; f < frames.size(); ++f)
        for (const Reported &o : frames[f])
            for (size_t r = 0; r < o.event.size(); ++r)
                if (o.event[r] != 0)
                    out.push_back({int(f), int(r), o.event[r], o.id, o.foot()});
    return out;
}

Run run_detector(const Scene &scene)
{
    Run run;
    cv::Mat grey;
    scene.render(0, grey);

    void *handle = nullptr;
    qv_init(&handle, demo_detector_config(grey));
    run.created = handle != nullptr;
    if (!run.created)
        return run;
    keep_handle(handle);

    const int count = int(scene.regions().size());
    std::vector<qv_region> regions(std::max(count, 1));
    for (int r = 0; r < count; ++r) {
        qv_region &q = regions[r];
        q = qv_region{};
        q.kind = scene.regions()[r].kind;
        q.point_count = int(scene.regions()[r].points.size());
        for (int p = 0; p < q.point_count && p < QV_MAX_REGION_POINTS; ++p)
            q.points[p] = {scene.regions()[r].points[p].x, scene.regions()[r].points[p].y};
    }
    // A scene without regions still runs the detector, with no region installed.
    run.regions_accepted = count == 0 || qv_init_region(handle, count, regions.data(), 0) != 0;

    auto result = std::make_unique<qv_result>();
    run.frames.resize(scene.frame_count());
    for (int f = 0; f < scene.frame_count(); ++f) {
        if (f > 0)
            scene.render(f, grey);  // same buffer throughout, as the demo does
        qv_detect(handle, qv_image(grey.cols, grey.rows, 1, grey.data), regions.data(), result.get());
        check_result(*result, scene, f, run.faults);
        const int n = std::clamp(result->count, 0, QV_MAX_OBJECTS);
        for (int i = 0; i < n; ++i) {
            const qv_object &o = result->objects[i];
            Reported rep{o.id, {o.box.x, o.box.y, o.box.width, o.box.height}, o.track_length, {}, {}, {}};
            if (o.track_length > 0 && o.track_length <= QV_MAX_TRACK)
                rep.track_last = {o.track[o.track_length - 1].x, o.track[o.track_length - 1].y};
            for (int r = 0; r < count; ++r) {
                rep.flag.push_back(o.region_flag[r]);
                rep.event.push_back(o.region_event[r]);
            }
            run.frames[f].push_back(std::move(rep));
        }
    }
    return run;
}

EventWindow event_window(int code)
{
    switch (code) {
    case QV_EVENT_LOITER: return {10, 30};
    // The bag becomes a separate object only once its owner has stepped away from it.
    case QV_EVENT_LEFT_OBJECT: return {15, 45};
    default: return {8, 8};
    }
}

double Score::precision() const { return ratio(true_pos, true_pos + false_pos); }
double Score::recall() const { return ratio(true_pos, true_pos + false_neg); }
double Score::event_precision() const { return ratio(matched.size(), matched.size() + spurious.size()); }
double Score::event_recall() const { return ratio(matched.size(), matched.size() + missed.size()); }
double Score::width_ratio() const
{
    if (widths.empty())
        return 1.0;
    std::vector<float> v = widths;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

int Score::matched_id(int frame, int figure) const
{
    if (frame < 0 || frame >= int(pairs.size()))
        return -1;
    for (const auto &p : pairs[frame])
        if (p.first == figure)
            return p.second;
    return -1;
}

Score score(const Scene &scene, const Run &run, int warmup)
{
    Score s;
    s.pairs.resize(run.frames.size());
    std::vector<int> last_id(scene.figures().size() + 1, -1);
    for (int f = warmup; f < int(run.frames.size()); ++f) {
        const std::vector<TruthObject> truth = scene.truth(f);
        const std::vector<Reported> &rep = run.frames[f];
        struct Cand {
            double iou;
            size_t t, r;
        };
        std::vector<Cand> cands;
        for (size_t t = 0; t < truth.size(); ++t)
            for (size_t r = 0; r < rep.size(); ++r) {
                const double v = iou(truth[t].box, rep[r].box);
                if (v >= kMatchIoU)
                    cands.push_back({v, t, r});
            }
        std::sort(cands.begin(), cands.end(), [](const Cand &a, const Cand &b) { return a.iou > b.iou; });
        std::vector<bool> t_used(truth.size()), r_used(rep.size());
        for (const Cand &c : cands) {
            if (t_used[c.t] || r_used[c.r])
                continue;
            t_used[c.t] = r_used[c.r] = true;
            const TruthObject &t = truth[c.t];
            if (!t.visible)
                continue;
            ++s.true_pos;
            s.widths.push_back(float(rep[c.r].box.width) / float(std::max(1, t.box.width)));
            s.pairs[f].push_back({t.id, rep[c.r].id});
            if (last_id[t.id] >= 0 && last_id[t.id] != rep[c.r].id)
                ++s.id_switches;
            last_id[t.id] = rep[c.r].id;
        }
        for (size_t t = 0; t < truth.size(); ++t)
            if (!t_used[t] && truth[t].visible)
                ++s.false_neg;
        for (size_t r = 0; r < rep.size(); ++r)
            if (!r_used[r])
                ++s.false_pos;
    }

    // Events: same code and region, within the code's frame window, reported by an
    // object standing near the figure; nearest in time first.
    std::vector<DetectedEvent> detected = run.events();
    std::vector<bool> used(detected.size());
    for (const TruthEvent &t : scene.events()) {
        const Figure &fig = scene.figure(t.figure);
        const cv::Rect shape = scene.figure_box(t.figure, std::min(t.frame, fig.last_frame()));
        const double reach = 0.75 * std::max({fig.height, float(shape.width), float(shape.height)}) + 16;
        const EventWindow w = event_window(t.code);
        int best = -1;
        for (size_t i = 0; i < detected.size(); ++i) {
            const DetectedEvent &d = detected[i];
            const int delay = d.frame - t.frame;
            if (used[i] || d.code != t.code || d.region != t.region || delay < -w.early || delay > w.late)
                continue;
            if (cv::norm(d.foot - fig.foot_at(d.frame)) > reach)
                continue;
            if (best < 0 || std::abs(delay) < std::abs(detected[best].frame - t.frame))
                best = int(i);
        }
        if (best < 0) {
            s.missed.push_back(t);
        } else {
            used[best] = true;
            s.matched.push_back({t, detected[best]});
        }
    }
    for (size_t i = 0; i < detected.size(); ++i)
        if (!used[i])
            s.spurious.push_back(detected[i]);
    return s;
}

std::string describe(const TruthEvent &e)
{
    char buf[128];
    std::snprintf(buf, sizeof buf, "expected code %d in region %d at frame %d (figure %d)", e.code, e.region, e.frame,
                  e.figure);
    return buf;
}

std::string describe(const DetectedEvent &e)
{
    char buf[160];
    std::snprintf(buf, sizeof buf, "reported code %d in region %d at frame %d (object %d at %.0f,%.0f)", e.code,
                  e.region, e.frame, e.id, e.foot.x, e.foot.y);
    return buf;
}

std::string event_report(const Score &s)
{
    std::string out;
    for (const TruthEvent &e : s.missed)
        out += "  missed: " + describe(e) + "\n";
    for (const DetectedEvent &e : s.spurious)
        out += "  spurious: " + describe(e) + "\n";
    for (const EventMatch &m : s.matched)
        out += "  matched: " + describe(m.truth) + ", " + std::to_string(m.detected.frame - m.truth.frame) +
               " frames off\n";
    return out;
}

}  // namespace qvs
