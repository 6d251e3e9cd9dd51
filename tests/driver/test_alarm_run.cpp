// Whole runs against the scripted detector: the event log, snapshots, counts,
// the writer's frame rate, and failed starts that must leave earlier files alone.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "driver/alarm_outputs.h"
#include "driver/exit_codes.h"
#include "driver/region_arg.h"
#include "driver/video_source.h"
#include "tests/support/clips.h"
#include "tests/support/fake_detector.h"
#include "tests/support/run_helpers.h"

namespace {

qv_region region(const std::string &arg)
{
    qv_region r;
    EXPECT_EQ(parse_region_arg(arg, r), "");
    return r;
}

// An object with its reference point at `to`, having come from `from`.
qv_object walker(int32_t id, qv_point from, qv_point to)
{
    qv_object o{};
    o.id = id;
    o.track_length = 2;
    o.track[0] = from;
    o.track[1] = to;
    o.box = {to.x - 4, to.y - 16, 8, 16};
    return o;
}

qv_result frame_with(std::vector<qv_object> objects)
{
    qv_result r{};
    r.count = static_cast<int32_t>(objects.size());
    for (size_t i = 0; i < objects.size(); ++i)
        r.objects[i] = objects[i];
    return r;
}

class AlarmRun : public testing::Test {
protected:
    void SetUp() override { fake::reset(); }
    void TearDown() override { fake::reset(); }

    // Line 1 runs top to bottom at column 80 (s > 0 on its left); zone 2 is a
    // forbidden zone at the top left; zone 3 a loiter zone at the bottom right.
    RunOptions alarm_options(const std::string &clip)
    {
        RunOptions options = test_options(clip, dir.file("out.avi"));
        options.regions = {region("3:80,10,80,110"), region("1:10,10,60,10,60,60,10,60"),
                           region("4:100,60,150,60,150,110,100,110")};
        options.region_names = {"door", "yard \"north\"", ""};
        options.events_path = dir.file("events.jsonl");
        options.snapshots_dir = dir.file("snaps");
        return options;
    }

    TempDir dir;
};

// One frame for each processed frame of an 8-frame clip.
std::vector<qv_result> crossing_script()
{
    std::vector<qv_result> frames(7);
    frames[0] = frame_with({walker(1, {60, 50}, {70, 50})});
    frames[1] = frame_with({walker(1, {70, 50}, {90, 50})});           // left to right
    frames[1].objects[0].region_event[0] = QV_EVENT_CROSS_TWO_WAY;
    frames[2] = frame_with({walker(3, {30, 30}, {30, 35})});
    frames[2].objects[0].region_flag[1] = 1;
    frames[2].objects[0].region_event[1] = QV_EVENT_ENTER;
    frames[3] = frame_with({walker(2, {95, 60}, {80, 60}), walker(3, {30, 35}, {30, 40})});
    frames[3].objects[0].track_length = 3;                              // stands on the line now:
    frames[3].objects[0].track[0] = {95, 60};                           // the side it left is read
    frames[3].objects[0].track[1] = {65, 60};                           // further back
    frames[3].objects[0].track[2] = {80, 60};
    frames[3].objects[0].region_event[0] = QV_EVENT_CROSS_TWO_WAY;
    frames[3].objects[1].region_flag[1] = 1;
    frames[4] = frame_with({walker(3, {30, 40}, {30, 70}), walker(4, {20, 20}, {20, 25}),
                            walker(5, {120, 40}, {120, 50})});
    frames[4].objects[0].region_flag[1] = 1;
    frames[4].objects[0].region_event[1] = QV_EVENT_LEAVE;
    frames[4].objects[1].region_flag[1] = 1;
    frames[4].objects[1].region_event[1] = QV_EVENT_ENTER;
    frames[5] = frame_with({walker(4, {20, 25}, {20, 26}), walker(5, {120, 50}, {120, 70})});
    frames[5].objects[0].region_flag[1] = 1;
    frames[6] = frames[5];
    return frames;
}

std::string without_time(const std::string &line)
{
    return std::regex_replace(line, std::regex("\"time\": \"[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}Z\""),
                              "\"time\": T");
}

} // namespace

TEST_F(AlarmRun, EventLogSnapshotsAndCountsTellWhatHappened)
{
    const std::string clip = write_test_clip(dir.file("in.avi"), 8, 160, 120, 10.0);
    fake::set_results(crossing_script());
    RunOptions options = alarm_options(clip);
    options.draw_counters = true;
    const CapturedRun run = run_captured(options);
    ASSERT_EQ(run.status, kExitOk) << run.err;

    const std::vector<std::string> lines = read_lines(options.events_path);
    ASSERT_EQ(lines.size(), 6u);
    const std::string snaps = dir.file("snaps");
    const std::vector<std::string> expected = {
        "{\"time\": T, \"video_ms\": 200, \"frame\": 1, \"id\": 1, \"region\": 1, \"region_name\": \"door\", "
        "\"kind\": \"two_way_line\", \"event\": 4, \"direction\": \"positive_to_negative\", \"box\": [86, 34, 8, 16], "
        "\"snapshot\": \"" + snaps + "/000001.jpg\"}",
        "{\"time\": T, \"video_ms\": 300, \"frame\": 2, \"id\": 3, \"region\": 2, \"region_name\": \"yard \\\"north\\\"\", "
        "\"kind\": \"zone\", \"event\": 1, \"direction\": null, \"box\": [26, 19, 8, 16], "
        "\"snapshot\": \"" + snaps + "/000002.jpg\"}",
        "{\"time\": T, \"video_ms\": 400, \"frame\": 3, \"id\": 2, \"region\": 1, \"region_name\": \"door\", "
        "\"kind\": \"two_way_line\", \"event\": 4, \"direction\": \"negative_to_positive\", \"box\": [76, 44, 8, 16], "
        "\"snapshot\": \"" + snaps + "/000003.jpg\"}",
        "{\"time\": T, \"video_ms\": 500, \"frame\": 4, \"id\": 3, \"region\": 2, \"region_name\": \"yard \\\"north\\\"\", "
        "\"kind\": \"zone\", \"event\": 2, \"direction\": null, \"box\": [26, 54, 8, 16], "
        "\"snapshot\": \"" + snaps + "/000004.jpg\"}",
        "{\"time\": T, \"video_ms\": 500, \"frame\": 4, \"id\": 4, \"region\": 2, \"region_name\": \"yard \\\"north\\\"\", "
        "\"kind\": \"zone\", \"event\": 1, \"direction\": null, \"box\": [16, 9, 8, 16], "
        "\"snapshot\": \"" + snaps + "/000004.jpg\"}",
        "{\"time\": T, \"frames\": 7, \"counters\": ["
        "{\"region\": 1, \"region_name\": \"door\", \"kind\": \"two_way_line\", \"positive_to_negative\": 1, "
        "\"negative_to_positive\": 1}, "
        "{\"region\": 2, \"region_name\": \"yard \\\"north\\\"\", \"kind\": \"zone\", \"entries\": 2, \"inside\": [4]}, "
        "{\"region\": 3, \"region_name\": null, \"kind\": \"loiter_zone\", \"entries\": 1, \"inside\": [5]}]}"};
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(without_time(lines[i]), expected[i]);

    // One picture per frame with events, of the drawn frame.
    for (const char *name : {"000001.jpg", "000002.jpg", "000003.jpg", "000004.jpg"}) {
        const cv::Mat snap = cv::imread(snaps + "/" + name);
        EXPECT_EQ(snap.size(), cv::Size(160, 120)) << name;
    }
    EXPECT_FALSE(path_exists(snaps + "/000000.jpg"));
    EXPECT_FALSE(path_exists(snaps + "/000005.jpg"));

    EXPECT_NE(run.out.find("counts: region 1 door (two_way_line): 1 positive_to_negative, 1 negative_to_positive\n"),
              std::string::npos) << run.out;
    EXPECT_NE(run.out.find("counts: region 2 yard \"north\" (zone): 2 entries, 1 inside now (ids 4)\n"),
              std::string::npos) << run.out;
    EXPECT_NE(run.out.find("counts: region 3 (loiter_zone): 1 entries, 1 inside now (ids 5)\n"), std::string::npos);
    EXPECT_EQ(count_readable_frames(dir.file("out.avi")), 7);
}

TEST_F(AlarmRun, CountsAreDrawnBesideTheirRegionsOnlyWhenAsked)
{
    const std::string clip = write_test_clip(dir.file("in.avi"), 3, 320, 240);
    auto yellow_near_line = [&](bool draw) {
        RunOptions options = alarm_options(clip);
        options.draw_counters = draw;
        EXPECT_EQ(run_captured(options).status, kExitOk);
        cv::VideoCapture video(dir.file("out.avi"));
        cv::Mat frame;
        video.read(frame);
        int yellow = 0;
        const cv::Mat place = frame(cv::Rect(85, 0, 200, 30));  // right of and above the line's first point
        for (int y = 0; y < place.rows; ++y)
            for (int x = 0; x < place.cols; ++x) {
                const cv::Vec3b p = place.at<cv::Vec3b>(y, x);
                yellow += p[2] > 180 && p[1] > 160 && p[0] < 90;
            }
        return yellow;
    };
    EXPECT_EQ(yellow_near_line(false), 0);
    EXPECT_GT(yellow_near_line(true), 40);
}

TEST_F(AlarmRun, EventLinesCanBeSentElsewhereToo)
{
    RunOptions options = alarm_options("unused");
    AlarmOutputs outputs(options, options.regions);
    std::vector<std::string> sent;
    outputs.set_line_listener([&](const std::string &line) { sent.push_back(line); });
    ASSERT_EQ(outputs.open(), "");
    cv::Mat frame(120, 160, CV_8UC3, cv::Scalar::all(0));
    const std::vector<qv_result> script = crossing_script();
    for (size_t k = 0; k < script.size(); ++k)
        outputs.on_frame(static_cast<int64_t>(k), 100 * static_cast<int64_t>(k), script[k], frame);
    EXPECT_EQ(outputs.finish(7, nullptr), "");
    EXPECT_EQ(sent, read_lines(options.events_path));
}

TEST_F(AlarmRun, RecordingPlaysAtTheSourceRate)
{
    for (const double fps : {10.0, 25.0}) {
        const std::string clip = write_test_clip(dir.file("in.avi"), 4, 64, 48, fps);
        ASSERT_EQ(run_captured(test_options(clip, dir.file("out.avi"))).status, kExitOk);
        cv::VideoCapture out(dir.file("out.avi"));
        EXPECT_DOUBLE_EQ(out.get(cv::CAP_PROP_FPS), fps);
    }
    for (const double bad : {0.0, -5.0, 0.5, 241.0, 1000.0, std::nan("")})
        EXPECT_EQ(sane_frame_rate(bad), 30.0) << bad;
    EXPECT_EQ(sane_frame_rate(1.0), 1.0);
    EXPECT_EQ(sane_frame_rate(240.0), 240.0);
    EXPECT_EQ(sane_frame_rate(29.97), 29.97);
}

TEST_F(AlarmRun, QuietNoVideoAndNoLimit)
{
    const std::string clip = write_test_clip(dir.file("in.avi"), 12, 64, 48);
    qv_result event = fake::make_result(1);
    event.objects[0].region_event[0] = QV_EVENT_CROSS_TWO_WAY;
    fake::set_results({fake::make_result(0), event, fake::make_result(0)});
    RunOptions options = test_options(clip, dir.file("never.avi"));
    options.quiet = true;
    options.no_video = true;
    options.max_frames = 0;  // no limit
    const CapturedRun run = run_captured(options);
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(fake::calls().detect, 11);
    EXPECT_EQ(count_lines_starting(run.out, "detect time:"), 0);
    EXPECT_EQ(count_lines_starting(run.out, "obj 0: "), 1);
    EXPECT_EQ(count_lines_starting(run.out, "aver time:"), 1);
    EXPECT_FALSE(path_exists(dir.file("never.avi")));
}

TEST_F(AlarmRun, FailedStartsLeaveEarlierFilesAlone)
{
    const std::string clip = write_test_clip(dir.file("in.avi"), 4, 160, 120);
    // Earlier results the user wants to keep.
    write_test_clip(dir.file("keep.avi"), 3, 32, 32);
    std::ofstream(dir.file("keep.jsonl")) << "{\"frame\": 0}\n";
    std::ofstream(dir.file("keep.events")) << "{\"event\": 4}\n";
    std::ofstream(dir.file("plain.txt")) << "a file, not a folder\n";
    const std::string avi = read_file(dir.file("keep.avi"));

    struct Case {
        const char *what;
        std::function<void(RunOptions &)> spoil;
        int status;
        std::string says;
    };
    const std::vector<Case> cases = {
        {"region outside the frame", [](RunOptions &o) { o.regions.push_back(region("1:10,10,150,10,150,120")); },
         kExitRegions, "region 2 point 3 (150,120) lies outside the 160x120 frame"},
        {"JSON in a missing folder", [&](RunOptions &o) { o.json_path = dir.file("missing/f.jsonl"); }, kExitOutput,
         dir.file("missing/f.jsonl")},
        {"event log in a missing folder", [&](RunOptions &o) { o.events_path = dir.file("missing/e.jsonl"); },
         kExitOutput, dir.file("missing/e.jsonl")},
        {"snapshots under a file", [&](RunOptions &o) { o.snapshots_dir = dir.file("plain.txt/snaps"); }, kExitOutput,
         dir.file("plain.txt/snaps")},
        {"snapshot folder is a file", [&](RunOptions &o) { o.snapshots_dir = dir.file("plain.txt"); }, kExitOutput,
         "not a folder"},
        {"video into a folder", [&](RunOptions &o) { o.output = dir.path(); }, kExitOutput, "it is a folder"},
        {"missing input", [&](RunOptions &o) { o.input = dir.file("nothing.avi"); }, kExitInput, "nothing.avi"},
    };
    for (const Case &c : cases) {
        fake::reset();
        RunOptions options = test_options(clip, dir.file("keep.avi"));
        options.json_path = dir.file("keep.jsonl");
        options.events_path = dir.file("keep.events");
        options.snapshots_dir = dir.file("snaps");
        c.spoil(options);
        const CapturedRun run = run_captured(options);
        EXPECT_EQ(run.status, c.status) << c.what;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.what << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.what << ": " << run.err;
        EXPECT_EQ(read_file(dir.file("keep.avi")), avi) << c.what;
        EXPECT_EQ(read_file(dir.file("keep.jsonl")), "{\"frame\": 0}\n") << c.what;
        EXPECT_EQ(read_file(dir.file("keep.events")), "{\"event\": 4}\n") << c.what;
        EXPECT_FALSE(path_exists(dir.file("snaps"))) << c.what;
        EXPECT_EQ(fake::calls().init, 0) << c.what;
    }
    const CapturedRun outside = run_captured([&] {
        RunOptions o = test_options(clip, dir.file("keep.avi"));
        o.regions = {region("3:10,10,10,500")};
        return o;
    }());
    EXPECT_NE(outside.out.find("区域设置有问题！！！\n"), std::string::npos) << outside.out;
}
