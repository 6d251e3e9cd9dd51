// Runs the detector over the whole synthetic scene set and prints detection
// precision/recall, id switches and event precision/recall per scene and overall;
// or, with --footage, scores its line events on a real clip against crossings
// annotated by eye. --detector mog2 runs the OpenCV baseline instead.
#include "driver/region_arg.h"
#include "driver/region_check.h"
#include "tools/eval/footage_run.h"
#include "tests/scenes/evaluation.h"
#include "tools/eval/mog2_baseline.h"

#include <CLI/CLI.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cstdio>
#include <string>

#include <unistd.h>

namespace {

// Writes the scene with true boxes (green), reported boxes (red, with id) and events.
void write_video(const qvs::Scene &scene, const qvs::Run &run, const std::string &path)
{
    cv::VideoWriter out(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), qvs::kFps,
                        {scene.width(), scene.height()}, true);
    if (!out.isOpened()) {
        std::fprintf(stderr, "qv_eval: cannot write %s\n", path.c_str());
        return;
    }
    cv::Mat grey, colour;
    for (int f = 0; f < scene.frame_count(); ++f) {
        scene.render(f, grey);
        cv::cvtColor(grey, colour, cv::COLOR_GRAY2BGR);
        for (const qvs::Region &r : scene.regions())
            cv::polylines(colour, r.points, r.points.size() > 2, {255, 128, 0}, 1);
        for (const qvs::TruthObject &t : scene.truth(f))
            cv::rectangle(colour, t.box, t.visible ? cv::Scalar(0, 200, 0) : cv::Scalar(0, 90, 0), 1);
        for (const qvs::Reported &o : run.frames[f]) {
            bool event = false;
            for (int e : o.event)
                event = event || e != 0;
            cv::rectangle(colour, o.box, event ? cv::Scalar(0, 255, 255) : cv::Scalar(0, 0, 255), event ? 3 : 1);
            cv::putText(colour, std::to_string(o.id), o.box.tl() + cv::Point(2, 12), cv::FONT_HERSHEY_PLAIN, 1,
                        {0, 0, 255});
        }
        cv::putText(colour, std::to_string(f), {4, scene.height() - 6}, cv::FONT_HERSHEY_PLAIN, 1, {255, 255, 255});
        out << colour;
    }
}

void print_row(const char *name, long frames, const qvs::Score &s)
{
    std::printf("%-15s %6ld %7.3f %7.3f %6d %6.3f %6zu %6zu %6zu %7.3f %7.3f\n", name, frames, s.precision(),
                s.recall(), s.id_switches, s.width_ratio(), s.matched.size() + s.missed.size(), s.matched.size(),
                s.spurious.size(), s.event_precision(), s.event_recall());
}

void print_event(const char *what, const qvf::LineEvent &e)
{
    std::printf("  %s: frame %d %s, object %d at %d,%d\n", what, e.frame, qvf::direction_name(e.direction), e.id,
                e.foot.x, e.foot.y);
}

void print_found(const char *what, const qvf::FoundCrossing &f)
{
    std::printf("  %s: frame %d %s, reported at %d (%+d) by object %d; %s\n", what, f.crossing.frame,
                qvf::direction_name(f.crossing.direction), f.event.frame, f.delay(), f.event.id,
                f.crossing.note.c_str());
}

// Frames a detector started on a clip is given to learn the scene before its events are
// scored: the model's quick start-up learning and an object's confirmation.
constexpr int kSettleFrames = 30;

size_t within_3(const qvf::CrossingScore &s)
{
    size_t prompt = 0;
    for (const qvf::FoundCrossing &f : s.found)
        prompt += f.delay() <= 3;
    return prompt;
}

// The clip run from several start frames: a detector's events hang on small things
// (a box one pixel wider decides whether two people share a blob), so one run says
// little about a change. All runs are scored on the crossings after the last start has
// settled.
int score_starts(const std::string &path, const std::vector<qvf::Crossing> &all, const qv_region &line,
                 qvf::DetectorKind kind, int starts, bool verbose)
{
    const int from = starts - 1 + kSettleFrames;
    std::vector<qvf::Crossing> crossings;
    for (const qvf::Crossing &c : all)
        if (c.frame >= from)
            crossings.push_back(c);
    size_t clear = 0;
    for (const qvf::Crossing &c : crossings)
        clear += !c.doubtful;
    std::printf("%s: %zu clear crossings from frame %d on, detector %s started on frames 0..%d\n", path.c_str(), clear,
                from, kind == qvf::DetectorKind::Mog2 ? "mog2" : "library", starts - 1);
    size_t found = 0, prompt = 0, missed = 0, wrong = 0;
    std::vector<int> delays;
    for (int start = 0; start < starts; ++start) {
        qvf::FootageRun run = qvf::run_footage(path, line, kind, start);
        if (!run.error.empty()) {
            std::fprintf(stderr, "qv_eval: %s\n", run.error.c_str());
            return 3;
        }
        std::vector<qvf::LineEvent> events;
        for (const qvf::LineEvent &e : run.events)
            if (e.frame >= from)
                events.push_back(e);
        const qvf::CrossingScore s = qvf::match_crossings(crossings, events, qvf::MatchWindow{});
        std::printf("start %2d: found %zu (%zu within 3 frames)  missed %zu  false %zu  median delay %.1f\n", start,
                    s.found.size(), within_3(s), s.missed.size(), s.false_events.size(), s.median_delay());
        if (verbose) {
            for (const qvf::Crossing &c : s.missed)
                std::printf("  missed: frame %d %s\n", c.frame, qvf::direction_name(c.direction));
            for (const qvf::LineEvent &e : s.false_events)
                print_event("false", e);
            for (const qvf::FoundCrossing &f : s.found)
                if (f.delay() > 3)
                    std::printf("  late: frame %d, reported at %+d\n", f.crossing.frame, f.delay());
        }
        found += s.found.size();
        prompt += within_3(s);
        missed += s.missed.size();
        wrong += s.false_events.size();
        for (const qvf::FoundCrossing &f : s.found)
            delays.push_back(f.delay());
    }
    std::sort(delays.begin(), delays.end());
    const double median = delays.empty() ? 0.0
                                         : (delays[(delays.size() - 1) / 2] + delays[delays.size() / 2]) / 2.0;
    std::printf("over %d starts: found %zu of %zu (%zu within 3 frames)  missed %zu  false %zu  median delay %.1f "
                "frames\n",
                starts, found, clear * size_t(starts), prompt, missed, wrong, median);
    return 0;
}

int score_footage(const std::string &path, const std::string &crossings_path, const std::string &region_spec,
                  qvf::DetectorKind kind, int starts, bool verbose)
{
    std::vector<qvf::Crossing> crossings;
    std::string error;
    if (!qvf::load_crossings(crossings_path, crossings, error)) {
        std::fprintf(stderr, "qv_eval: %s\n", error.c_str());
        return 2;
    }
    qv_region line{};
    error = parse_region_arg(region_spec, line);
    if (error.empty())
        error = check_region_shape(line);
    if (error.empty() && !is_line_kind(line.kind))
        error = "the region must be a line (kind 2 or 3)";
    if (!error.empty()) {
        std::fprintf(stderr, "qv_eval: --region %s: %s\n", region_spec.c_str(), error.c_str());
        return 2;
    }
    if (starts > 1)
        return score_starts(path, crossings, line, kind, starts, verbose);
    const qvf::FootageRun run = qvf::run_footage(path, line, kind);
    if (!run.error.empty()) {
        std::fprintf(stderr, "qv_eval: %s\n", run.error.c_str());
        return 3;
    }
    const qvf::MatchWindow window;
    const qvf::CrossingScore s = qvf::match_crossings(crossings, run.events, window);
    const size_t doubtful = s.doubtful_found.size() + size_t(s.doubtful_unfound);
    std::printf("%s: %d frames, line %s, detector %s\n", path.c_str(), run.frames, region_spec.c_str(),
                kind == qvf::DetectorKind::Mog2 ? "mog2" : "library");
    std::printf("annotated: %zu crossings (%zu clear, %zu doubtful); an event counts from %d frames before to %d "
                "after\n",
                crossings.size(), crossings.size() - doubtful, doubtful, window.early, window.late);
    const size_t prompt = within_3(s);
    std::printf("found %zu (%zu within 3 frames)  missed %zu  false %zu  median delay %.1f frames\n", s.found.size(),
                prompt, s.missed.size(), s.false_events.size(), s.median_delay());
    std::printf("delays:");
    for (const qvf::FoundCrossing &f : s.found)
        std::printf(" %+d", f.delay());
    std::printf("\ndoubtful crossings: %zu reported, %d not\n", s.doubtful_found.size(), s.doubtful_unfound);
    if (verbose) {
        for (const qvf::Crossing &c : s.missed)
            std::printf("  missed: frame %d %s; %s\n", c.frame, qvf::direction_name(c.direction), c.note.c_str());
        for (const qvf::LineEvent &e : s.false_events)
            print_event("false", e);
        for (const qvf::FoundCrossing &f : s.found)
            print_found("found", f);
        for (const qvf::FoundCrossing &f : s.doubtful_found)
            print_found("doubtful, reported", f);
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    CLI::App app{"Scores the detector on the synthetic scene set, or on real footage against annotated crossings"};
    int seeds = 1, starts = 1;
    std::string only, video_dir, footage, crossings, region = "3:1200,450,1200,700", detector = "library";
    bool verbose = false;
    app.add_option("--seeds", seeds, "run every scene with seeds 1..N")->check(CLI::Range(1, 100));
    app.add_option("--scene", only, "run only the scene of this name");
    app.add_option("--video", video_dir, "write an annotated MJPG video per scene into this directory (SCENE-SEED.avi with --seeds)");
    app.add_option("--detector", detector, "library, or mog2 for the OpenCV baseline")
        ->check(CLI::IsMember({"library", "mog2"}));
    auto *footage_option = app.add_option("--footage", footage, "score the line events on this clip instead");
    app.add_option("--crossings", crossings, "the crossings annotated on the --footage clip")->needs(footage_option);
    app.add_option("--region", region, "the line the crossings were annotated for")->needs(footage_option);
    app.add_option("--starts", starts, "run the clip N times, the detector started on frames 0..N-1, and sum the scores")
        ->check(CLI::Range(1, 50))
        ->needs(footage_option);
    app.add_flag("-v,--verbose", verbose, "list every missed and spurious event");
    CLI11_PARSE(app, argc, argv);
    const bool mog2 = detector == "mog2";
    if (!footage.empty()) {
        if (crossings.empty()) {
            std::fprintf(stderr, "qv_eval: --footage needs --crossings\n");
            return 2;
        }
        return score_footage(footage, crossings, region, mog2 ? qvf::DetectorKind::Mog2 : qvf::DetectorKind::Library,
                             starts, verbose);
    }

    // Checked before the scenes run, not found out after the first of them.
    bool known = only.empty();
    for (qvs::SceneKind kind : qvs::all_scene_kinds())
        known = known || only == qvs::scene_name(kind);
    if (!known) {
        std::fprintf(stderr, "qv_eval: no scene named %s\n", only.c_str());
        return 2;
    }
    if (!video_dir.empty() && access(video_dir.c_str(), W_OK) != 0) {
        std::fprintf(stderr, "qv_eval: --video %s: not a folder that can be written\n", video_dir.c_str());
        return 2;
    }
    std::printf("%-15s %6s %7s %7s %6s %6s %6s %6s %6s %7s %7s\n", "scene", "frames", "det P", "det R", "id sw",
                "w/w", "ev exp", "ev hit", "ev spu", "ev P", "ev R");
    qvs::Score total;
    long total_frames = 0;
    int faults = 0;
    for (qvs::SceneKind kind : qvs::all_scene_kinds()) {
        if (!only.empty() && only != qvs::scene_name(kind))
            continue;
        for (int seed = 1; seed <= seeds; ++seed) {
            const cv::Size size = qvs::standard_size(kind);
            const qvs::Scene scene = qvs::make_scene(kind, uint32_t(seed), size.width, size.height);
            const qvs::Run run = mog2 ? qvs::run_mog2_baseline(scene) : qvs::run_detector(scene);
            if (!run.created || !run.regions_accepted) {
                std::printf("%-15s detector %s\n", scene.name().c_str(),
                            run.created ? "rejected the regions" : "was not created");
                ++faults;
                continue;
            }
            const qvs::Score s = qvs::score(scene, run);
            const std::string name = seeds > 1 ? scene.name() + "/" + std::to_string(seed) : scene.name();
            print_row(name.c_str(), scene.frame_count(), s);
            if (verbose && (!s.missed.empty() || !s.spurious.empty()))
                std::printf("%s", qvs::event_report(s).c_str());
            for (const std::string &f : run.faults)
                std::printf("  fault: %s\n", f.c_str());
            faults += int(run.faults.size());
            if (!video_dir.empty()) {
                // All in the one folder given: the seed goes in the file name.
                const std::string file = seeds > 1 ? scene.name() + "-" + std::to_string(seed) : name;
                write_video(scene, run, video_dir + "/" + file + ".avi");
            }
            total.true_pos += s.true_pos;
            total.false_pos += s.false_pos;
            total.false_neg += s.false_neg;
            total.id_switches += s.id_switches;
            total.widths.insert(total.widths.end(), s.widths.begin(), s.widths.end());
            total.matched.insert(total.matched.end(), s.matched.begin(), s.matched.end());
            total.missed.insert(total.missed.end(), s.missed.begin(), s.missed.end());
            total.spurious.insert(total.spurious.end(), s.spurious.begin(), s.spurious.end());
            total_frames += scene.frame_count();
        }
    }
    print_row("overall", total_frames, total);
    if (faults > 0)
        std::printf("output faults: %d\n", faults);
    return 0;
}
