#include "driver/command_line.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstring>

#include "driver/exit_codes.h"
#include "driver/region_arg.h"

qv_region default_region()
{
    qv_region region;
    std::memset(&region, 0, sizeof region);
    region.kind = QV_REGION_LINE_TWO_WAY;
    region.point_count = 2;
    region.points[0] = {1200, 450};
    region.points[1] = {1200, 700};
    return region;
}

namespace {

const char *kFooter =
    "Region kinds: 1 forbidden zone (polygon, 3-10 points), 2 one-way line, 3 two-way line,\n"
    "4 loiter zone (polygon), 5 left-object zone (polygon). Coordinates are frame pixels.\n"
    "\n"
    "Exit status: 0 finished, 1 unexpected fault, 2 bad command line, 3 video cannot be opened or is empty,\n"
    "4 output cannot be written, 5 detector could not be created, 6 regions rejected,\n"
    "130/143 stopped by SIGINT/SIGTERM (output files are closed and valid).";

} // namespace

int parse_command_line(int argc, char **argv, RunOptions &options)
{
    CLI::App app{"Watches a video for moving objects and judges them against rule regions.", "qv_demo"};
    app.footer(kFooter);
    app.set_version_flag("--version", std::string("qv_demo ") + QV_VERSION);

    std::vector<std::string> region_args;
    bool no_window = false;
    bool no_pause = false;
    app.add_option("-i,--input", options.input, "video file, stream URL, or camera index")
        ->capture_default_str();
    app.add_option("-o,--output", options.output, "output video, MJPG AVI")->capture_default_str();
    app.add_option("-r,--region", region_args,
                   "KIND:X1,Y1,X2,Y2[,X3,Y3...]; repeat for up to 10 regions (default 3:1200,450,1200,700)")
        ->take_all();
    app.add_option("-n,--max-frames", options.max_frames, "stop after N processed frames")
        ->capture_default_str()
        ->check(CLI::PositiveNumber);
    app.add_option("--json", options.json_path, "write one JSON line per processed frame");
    app.add_option("--font", options.font_path, "TrueType/OpenType font for the alarm caption");
    app.add_flag("--no-window", no_window, "never open the display window");
    app.add_flag("--no-pause", no_pause, "never wait for a key at the end");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        std::fprintf(stderr, "qv_demo: %s\nRun with --help for more information.\n", e.what());
        return kExitUsage;
    }

    if (region_args.size() > QV_MAX_REGIONS) {
        std::fprintf(stderr, "qv_demo: at most %d regions, got %zu\nRun with --help for more information.\n",
                     QV_MAX_REGIONS, region_args.size());
        return kExitUsage;
    }
    options.regions.clear();
    for (const std::string &arg : region_args) {
        qv_region region;
        const std::string error = parse_region_arg(arg, region);
        if (!error.empty()) {
            std::fprintf(stderr, "qv_demo: bad region '%s': %s\nRun with --help for more information.\n",
                         arg.c_str(), error.c_str());
            return kExitUsage;
        }
        options.regions.push_back(region);
    }
    if (options.regions.empty())
        options.regions.push_back(default_region());
    options.show_window = !no_window;
    options.pause_at_end = !no_pause;
    return -1;
}
