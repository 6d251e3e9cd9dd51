// Runs the detector over the whole synthetic scene set and prints detection
// precision/recall, id switches and event precision/recall per scene and overall.
#include "tests/scenes/evaluation.h"

#include <CLI/CLI.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <cstdio>
#include <string>

namespace {

// Writes the scene with true boxes (green), reported boxes (red, with id) and events.
void write_video(const qvs::Scene &scene, const qvs::Run &run, const std::string &path)
{
    cv::VideoWriter out(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), qvs::kFps,
                        {scene.width(), scene.height()}, true);
    if (!out.isOpened()) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
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

}  // namespace

int main(int argc, char **argv)
{
    CLI::App app{"Scores the detector on the synthetic scene set"};
    int seeds = 1;
    std::string only, video_dir;
    bool verbose = false;
    app.add_option("--seeds", seeds, "run every scene with seeds 1..N")->check(CLI::Range(1, 100));
    app.add_option("--scene", only, "run only the scene of this name");
    app.add_option("--video", video_dir, "write an annotated MJPG video per scene into this directory");
    app.add_flag("-v,--verbose", verbose, "list every missed and spurious event");
    CLI11_PARSE(app, argc, argv);

    std::printf("%-15s %6s %7s %7s %6s %6s %6s %6s %6s %7s %7s\n", "scene", "frames", "det P", "det R", "id sw",
                "w/w", "ev exp", "ev hit", "ev spu", "ev P", "ev R");
    qvs::Score total;
    long total_frames = 0;
    int faults = 0;
    bool any = false;
    for (qvs::SceneKind kind : qvs::all_scene_kinds()) {
        if (!only.empty() && only != qvs::scene_name(kind))
            continue;
        any = true;
        for (int seed = 1; seed <= seeds; ++seed) {
            const cv::Size size = qvs::standard_size(kind);
            const qvs::Scene scene = qvs::make_scene(kind, uint32_t(seed), size.width, size.height);
            const qvs::Run run = qvs::run_detector(scene);
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
            if (!video_dir.empty())
                write_video(scene, run, video_dir + "/" + name + ".avi");
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
    if (!any) {
        std::fprintf(stderr, "no scene named %s\n", only.c_str());
        return 2;
    }
    print_row("overall", total_frames, total);
    if (faults > 0)
        std::printf("output faults: %d\n", faults);
    return 0;
}
