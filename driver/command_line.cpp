#include "driver/command_line.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <cstdlib>
#include <cstring>

#include "driver/exit_codes.h"
#include "driver/mqtt_target.h"
#include "driver/region_arg.h"
#include "driver/region_check.h"
#include "driver/rule_file.h"
#include "overlay/cvx_text.h"

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
    "4 output cannot be written (also a disk that fills up mid-run: the files stay valid),\n"
    "5 detector could not be created, 6 regions outside the frame or rejected,\n"
    "7 a stream or camera stopped delivering frames mid-run (without --reconnect),\n"
    "130/143 stopped by SIGINT/SIGTERM (output files are closed and valid).";

int usage_error(const std::string &message)
{
    std::fprintf(stderr, "qv_demo: %s\nRun with --help for more information.\n", message.c_str());
    return kExitUsage;
}

// "-n" as a whole number of frames, 0 meaning no limit. Returns "" or why not.
std::string parse_max_frames(const std::string &text, int &frames)
{
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || end != text.c_str() + text.size() || errno != 0 || v < 0 || v > INT32_MAX)
        return "-n/--max-frames wants a whole number of frames from 0 (no limit) to 2147483647, got '" + text + "'";
    frames = static_cast<int>(v);
    return {};
}

// A name with an extension must have .avi (any case): the writer makes MJPG AVI
// whatever the name says. Names without one (devices, "out") are left alone.
bool avi_or_no_extension(const std::string &path)
{
    const std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return true;
    std::string extension = name.substr(dot);
    for (char &c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".avi";
}

// Regions from -r, each checked on its own before anything is opened.
std::string take_region_args(const std::vector<std::string> &args, RunOptions &options)
{
    if (args.size() > QV_MAX_REGIONS)
        return "at most " + std::to_string(QV_MAX_REGIONS) + " regions, got " + std::to_string(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
        qv_region region;
        std::string error = parse_region_arg(args[i], region);
        if (error.empty())
            error = check_region_shape(region);
        if (!error.empty())
            return "bad region " + std::to_string(i + 1) + " '" + args[i] + "': " + error;
        options.regions.push_back(region);
    }
    return {};
}

} // namespace

int parse_command_line(int argc, char **argv, RunOptions &options)
{
    CLI::App app{"Watches a video for moving objects and judges them against rule regions.", "qv_demo"};
    app.footer(kFooter);
    app.set_version_flag("--version", std::string("qv_demo ") + QV_VERSION);

    std::vector<std::string> region_args;
    std::string max_frames = std::to_string(options.max_frames);
    std::string rules_path;
    bool no_window = false;
    bool no_pause = false;
    app.add_option("-i,--input", options.input, "video file, stream URL, or camera index")
        ->capture_default_str();
    app.add_option("-o,--output", options.output, "output video, MJPG AVI")->capture_default_str();
    app.add_option("-r,--region", region_args,
                   "KIND:X1,Y1,X2,Y2[,X3,Y3...]; repeat for up to 10 regions (default 3:1200,450,1200,700)")
        ->take_all();
    app.add_option("--rules", rules_path, "YAML file of named regions (instead of --region)");
    app.add_option("-n,--max-frames", max_frames, "stop after N processed frames; 0: no limit")
        ->type_name("N")
        ->capture_default_str();
    app.add_option("--json", options.json_path, "write one JSON line per processed frame");
    app.add_option("--events", options.events_path, "write one JSON line per event, counts at the end");
    app.add_option("--snapshots", options.snapshots_dir, "save a JPEG of every frame with events in this folder");
    app.add_flag("--counters", options.draw_counters, "draw the crossing and zone counts beside each region");
    app.add_option("--preview", options.preview_path,
                   "write the first frame with the regions drawn as PNG, print its size and frame rate, stop");
    app.add_option("--caption-hold", options.caption_hold_s, "keep the last alarm caption this many seconds")
        ->capture_default_str()
        ->check(CLI::Range(0.0, 3600.0));
    app.add_option("--font", options.font_path, "TrueType/OpenType font for the alarm caption");
    app.add_flag("--quiet", options.quiet, "no per-frame detect time lines");
    app.add_flag("--no-video", options.no_video, "write no output video");
    app.add_option("--segment-minutes", options.segment_minutes,
                   "start a new output file every N minutes of video (fractions allowed): "
                   "OUTPUT's name with -0001, -0002 ... before .avi")
        ->type_name("N")
        ->check(CLI::Range(0.001, 1e6));
    app.add_option("--keep-segments", options.keep_segments,
                   "with --segment-minutes: keep only the newest M segments this run wrote, deleting older ones")
        ->type_name("M")
        ->check(CLI::Range(1, 1000000));
    app.add_flag("--reconnect", options.reconnect,
                 "reopen a lost stream or camera, 1, 2, 4 ... 30 s apart, until stopped (else status 7); "
                 "each loss and recovery is an event log line");
    std::string mqtt_url, mqtt_password_file;
    app.add_option("--mqtt", mqtt_url,
                   "publish the event log's lines to PREFIX/events, with --snapshots the pictures to "
                   "PREFIX/snapshot, online/offline to PREFIX/available (mqtt://HOST[:PORT]/PREFIX or mqtts://...)");
    app.add_option("--mqtt-user", options.mqtt.user, "MQTT user name");
    app.add_option("--mqtt-password-file", mqtt_password_file, "file whose first line is the MQTT password");
    app.add_option("--mqtt-cafile", options.mqtt.cafile, "CA certificate for mqtts:// (default: the system's)");
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
        return usage_error(e.what());
    }

    std::string error = parse_max_frames(max_frames, options.max_frames);
    if (error.empty() && !avi_or_no_extension(options.output))
        error = "the output video is an MJPG AVI; its name must end in .avi, got '" + options.output + "'";
    if (error.empty() && options.keep_segments > 0 && options.segment_minutes <= 0.0)
        error = "--keep-segments needs --segment-minutes";
    if (error.empty() && options.segment_minutes > 0.0 && options.no_video)
        error = "--segment-minutes splits the output video; it cannot go with --no-video";
    if (error.empty() && !mqtt_url.empty())
        error = parse_mqtt_url(mqtt_url, options.mqtt);
    if (error.empty() && !mqtt_password_file.empty()) {
        std::ifstream in(mqtt_password_file);
        if (!in)
            error = "--mqtt-password-file: cannot read " + mqtt_password_file;
        else
            std::getline(in, options.mqtt.password);
    }
    if (error.empty() && !region_args.empty() && !rules_path.empty())
        error = "give regions either with --region or with --rules, not both";
    options.regions.clear();
    options.region_names.clear();
    if (error.empty())
        error = rules_path.empty() ? take_region_args(region_args, options)
                                   : read_rule_file(rules_path, options.regions, options.region_names);
    if (error.empty() && !options.font_path.empty()) {
        // A font asked for by name must work: a run without its captions is not what was asked for.
        try {
            CvxText probe(options.font_path);
        } catch (const CvxTextError &e) {
            error = std::string("--font: ") + e.what();
        }
    }
    if (!error.empty())
        return usage_error(error);
    if (options.regions.empty())
        options.regions.push_back(default_region());
    options.show_window = !no_window;
    options.pause_at_end = !no_pause;
    return -1;
}
