#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <regex>

#include "driver/exit_codes.h"
#include "driver/stop_signal.h"
#include "tests/support/clips.h"
#include "tests/support/fake_detector.h"
#include "tests/support/run_helpers.h"

namespace {

class RunDemo : public testing::Test {
protected:
    void SetUp() override
    {
        fake::reset();
        clear_stop_request();
    }
    TempDir dir;
};

std::vector<long> detect_times(const std::string &out)
{
    std::vector<long> times;
    const std::regex line("detect time:(-?[0-9]+) us");
    for (auto it = std::sregex_iterator(out.begin(), out.end(), line); it != std::sregex_iterator(); ++it)
        times.push_back(std::stol((*it)[1]));
    return times;
}

long average_printed(const std::string &out)
{
    std::smatch m;
    if (!std::regex_search(out, m, std::regex("aver time:(-?[0-9]+) us")))
        return -999;
    return std::stol(m[1]);
}

} // namespace

TEST_F(RunDemo, ProcessesAllButTheSizeProbingFrame)
{
    const std::string clip = write_test_clip(dir.file("in.avi"), 7, 160, 120);
    RunOptions options = test_options(clip, dir.file("out.avi"));
    options.json_path = dir.file("frames.jsonl");
    const CapturedRun run = run_captured(options);

    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_NE(run.out.find("width = 160 height = 120\n"), std::string::npos);
    EXPECT_EQ(fake::calls().detect, 6);
    EXPECT_EQ(count_readable_frames(dir.file("out.avi")), 6);
    EXPECT_EQ(read_lines(options.json_path).size(), 6u);
    EXPECT_EQ(detect_times(run.out).size(), 6u);
}

TEST_F(RunDemo, DetectorIsCreatedOnceOnTheFirstProcessedFrame)
{
    const std::string clip = write_test_clip(dir.file("in.avi"), 5, 96, 64);
    RunOptions options = test_options(clip, dir.file("out.avi"));
    qv_region zone{};
    zone.kind = 1;
    zone.point_count = 3;
    zone.points[1] = {50, 0};
    zone.points[2] = {50, 50};
    options.regions.push_back(zone);
    const CapturedRun run = run_captured(options);
    ASSERT_EQ(run.status, kExitOk) << run.err;

    const fake::Calls &calls = fake::calls();
    EXPECT_EQ(calls.init, 1);
    EXPECT_EQ(calls.init_before_detect, 1);
    EXPECT_EQ(calls.init_region, 1);
    EXPECT_EQ(calls.detect, 4);
    EXPECT_EQ(calls.region_count, 2);
    EXPECT_EQ(calls.region_reserved, 0);
    ASSERT_EQ(calls.regions.size(), 2u);
    EXPECT_EQ(calls.regions[1].points[2].y, 50);
    EXPECT_TRUE(calls.same_region_address);
    EXPECT_TRUE(calls.same_image_size);

    const qv_config &c = calls.config;
    EXPECT_EQ(c.param_a, 0);
    EXPECT_EQ(c.param_b, 0);
    EXPECT_EQ(c.param_c, 1);
    EXPECT_EQ(c.param_flag, 0);
    EXPECT_EQ(c.param_d, 10);
    EXPECT_EQ(c.param_e, 1000000);
    EXPECT_EQ(c.image.width, 96);
    EXPECT_EQ(c.image.height, 64);
    EXPECT_EQ(c.image.channels, 1);
}

TEST_F(RunDemo, PrintedTimesAreSummedAndAveragedInIntegers)
{
    const std::string clip = write_test_clip(dir.file("in.avi"), 9, 64, 48);
    RunOptions options = test_options(clip, dir.file("out.avi"));
    options.json_path = dir.file("frames.jsonl");
    const CapturedRun run = run_captured(options);
    ASSERT_EQ(run.status, kExitOk) << run.err;

    const std::vector<long> times = detect_times(run.out);
    ASSERT_EQ(times.size(), 8u);
    long total = 0;
    for (long t : times)
        total += t;
    EXPECT_EQ(average_printed(run.out), total / 8);

    // The JSON carries the same per-frame figure as the console.
    const std::vector<std::string> lines = read_lines(options.json_path);
    ASSERT_EQ(lines.size(), 8u);
    for (size_t k = 0; k < lines.size(); ++k) {
        const std::string prefix =
            "{\"frame\": " + std::to_string(k) + ", \"detect_us\": " + std::to_string(times[k]) + ", ";
        EXPECT_EQ(lines[k].rfind(prefix, 0), 0u) << lines[k];
    }
}

TEST_F(RunDemo, StopsAfterMaxFrames)
{
    const std::string clip = write_test_clip(dir.file("in.avi"), 12, 64, 48);
    RunOptions options = test_options(clip, dir.file("out.avi"));
    options.max_frames = 4;
    const CapturedRun run = run_captured(options);
    ASSERT_EQ(run.status, kExitOk);
    EXPECT_EQ(fake::calls().detect, 4);
    EXPECT_EQ(count_readable_frames(dir.file("out.avi")), 4);
}

TEST_F(RunDemo, JsonCarriesTheScriptedObjects)
{
    const std::string clip = write_test_clip(dir.file("in.avi"), 3, 64, 48);
    qv_result second = fake::make_result(1);
    second.objects[0].id = 7;
    second.objects[0].region_flag[0] = 1;
    second.objects[0].region_event[0] = 4;
    second.objects[0].track_length = 2;
    fake::set_results({fake::make_result(0), second});
    RunOptions options = test_options(clip, dir.file("out.avi"));
    options.json_path = dir.file("frames.jsonl");
    ASSERT_EQ(run_captured(options).status, kExitOk);

    const std::vector<std::string> lines = read_lines(options.json_path);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("\"objects\": []"), std::string::npos);
    EXPECT_NE(lines[1].find("{\"id\": 7, \"box\": [10, 10, 8, 16], \"track_length\": 2, \"flags\": [1], "
                            "\"events\": [4]}"),
              std::string::npos)
        << lines[1];
}

TEST_F(RunDemo, OnlyTheProbingFrameEndsInOrder)
{
    const std::string clip = write_test_clip(dir.file("in.avi"), 1, 64, 48);
    const CapturedRun run = run_captured(test_options(clip, dir.file("out.avi")));
    EXPECT_EQ(run.status, kExitOk);
    EXPECT_EQ(fake::calls().init, 0);
    EXPECT_NE(run.out.find("aver time:0 us"), std::string::npos);
}

TEST_F(RunDemo, UnreadableInputsEndWithAClearMessage)
{
    std::ofstream(dir.file("empty.mp4")).close();
    std::ofstream(dir.file("notes.txt")) << "this is not a video\n";
    for (const std::string &input :
         {dir.file("missing.mp4"), dir.path(), dir.file("empty.mp4"), dir.file("notes.txt")}) {
        const CapturedRun run = run_captured(test_options(input, dir.file("out.avi")));
        EXPECT_EQ(run.status, kExitInput) << input;
        EXPECT_NE(run.err.find(input), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_FALSE(path_exists(dir.file("out.avi")));
    }
}

TEST_F(RunDemo, DetectorFailuresEndWithTheirStatusAndAClosedOutput)
{
    const std::string clip = write_test_clip(dir.file("in.avi"), 4, 64, 48);

    fake::fail_init(true);
    const CapturedRun init = run_captured(test_options(clip, dir.file("init.avi")));
    EXPECT_EQ(init.status, kExitModelInit);
    EXPECT_NE(init.out.find("model initial failed"), std::string::npos);
    EXPECT_EQ(fake::calls().init_region, 0);
    EXPECT_EQ(fake::calls().detect, 0);
    EXPECT_TRUE(path_exists(dir.file("init.avi")));

    fake::reset();
    fake::reject_regions(true);
    const CapturedRun regions = run_captured(test_options(clip, dir.file("regions.avi")));
    EXPECT_EQ(regions.status, kExitRegions);
    EXPECT_NE(regions.out.find("区域设置有问题！！！\n"), std::string::npos) << regions.out;
    EXPECT_EQ(fake::calls().detect, 0);
    EXPECT_TRUE(path_exists(dir.file("regions.avi")));
}

TEST_F(RunDemo, UnwritableOutputsAreReported)
{
    const std::string clip = write_test_clip(dir.file("in.avi"), 3, 64, 48);
    for (const std::string &output : {dir.file("no/such/folder/out.avi"), std::string("/dev/full"), dir.path()}) {
        const CapturedRun avi = run_captured(test_options(clip, output));
        EXPECT_EQ(avi.status, kExitOutput) << output;
        EXPECT_NE(avi.err.find(output), std::string::npos) << avi.err;
    }

    RunOptions options = test_options(clip, dir.file("out.avi"));
    options.json_path = dir.file("no/such/folder/f.jsonl");
    const CapturedRun json = run_captured(options);
    EXPECT_EQ(json.status, kExitOutput);
    EXPECT_NE(json.err.find("f.jsonl"), std::string::npos) << json.err;
    EXPECT_EQ(fake::calls().detect, 0);
}

TEST_F(RunDemo, ObjectsOutsideTheFrameAreDrawnSafely)
{
    const std::string clip = write_test_clip(dir.file("in.avi"), 3, 64, 48);
    qv_result wild = fake::make_result(3);
    wild.objects[0].box = {-50, -50, 500, 500};
    wild.objects[1].track_length = 2;
    wild.objects[1].track[0] = {-1000, 20};
    wild.objects[1].track[1] = {1000, 30};
    wild.objects[2].track_length = 5000;  // more than the record holds
    fake::set_results({wild});
    const CapturedRun run = run_captured(test_options(clip, dir.file("out.avi")));
    EXPECT_EQ(run.status, kExitOk);
    EXPECT_EQ(count_readable_frames(dir.file("out.avi")), 2);
}

TEST_F(RunDemo, SignalStopsAfterTheFrameInHandWithEverythingClosed)
{
    const std::string clip = write_test_clip(dir.file("in.avi"), 9, 64, 48);
    install_stop_handlers();
    for (const int signal_number : {SIGTERM, SIGINT}) {
        fake::reset();
        clear_stop_request();
        fake::raise_during_detect(2, signal_number);
        RunOptions options = test_options(clip, dir.file("out.avi"));
        options.json_path = dir.file("frames.jsonl");
        const CapturedRun run = run_captured(options);
        EXPECT_EQ(run.status, 128 + signal_number);
        EXPECT_EQ(fake::calls().detect, 3);
        EXPECT_NE(run.out.find("aver time:"), std::string::npos);
        EXPECT_EQ(count_readable_frames(dir.file("out.avi")), 3);
        EXPECT_EQ(read_lines(options.json_path).size(), 3u);
    }
    clear_stop_request();
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
}
