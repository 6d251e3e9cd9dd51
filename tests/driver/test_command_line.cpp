#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "driver/exit_codes.h"
#include "driver/region_arg.h"

namespace {

struct Parsed {
    int status;
    RunOptions options;
    std::string err;
};

Parsed parse(const std::vector<std::string> &args)
{
    std::vector<std::string> storage{"qv_demo"};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &s : storage)
        argv.push_back(s.data());
    Parsed p;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    p.status = parse_command_line(static_cast<int>(argv.size()), argv.data(), p.options);
    testing::internal::GetCapturedStdout();
    p.err = testing::internal::GetCapturedStderr();
    return p;
}

} // namespace

TEST(CommandLine, NoArgumentsGiveTheFixedRun)
{
    const Parsed p = parse({});
    EXPECT_EQ(p.status, -1);
    EXPECT_EQ(p.options.input, "../../data/test1.mp4");
    EXPECT_EQ(p.options.output, "result_2019_9_23.avi");
    EXPECT_EQ(p.options.max_frames, 2001);
    ASSERT_EQ(p.options.regions.size(), 1u);
    EXPECT_EQ(p.options.regions[0].kind, 3);
    EXPECT_TRUE(p.options.show_window);
    EXPECT_TRUE(p.options.pause_at_end);
    EXPECT_TRUE(p.options.json_path.empty());
}

TEST(CommandLine, OptionsAreTaken)
{
    const Parsed p = parse({"-i", "in.avi", "--output", "out.avi", "-r", "1:10,10,100,10,100,100", "-r",
                            "2:5,6,7,8", "-n", "5", "--json", "f.jsonl", "--no-window", "--no-pause"});
    ASSERT_EQ(p.status, -1) << p.err;
    EXPECT_EQ(p.options.input, "in.avi");
    EXPECT_EQ(p.options.output, "out.avi");
    ASSERT_EQ(p.options.regions.size(), 2u);
    EXPECT_EQ(p.options.regions[0].kind, 1);
    EXPECT_EQ(p.options.regions[0].point_count, 3);
    EXPECT_EQ(p.options.regions[0].points[2].x, 100);
    EXPECT_EQ(p.options.regions[1].points[1].y, 8);
    EXPECT_EQ(p.options.max_frames, 5);
    EXPECT_EQ(p.options.json_path, "f.jsonl");
    EXPECT_FALSE(p.options.show_window);
    EXPECT_FALSE(p.options.pause_at_end);
}

TEST(CommandLine, ErrorsNameTheBadValueAndExitTwo)
{
    for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
             {"--bogus"}, {"-n", "-3"}, {"-n", "ten"}, {"-r", "3:1,2,3"}, {"-r", "x:1,2,3,4"},
             {"-r", "3:1,2,3,z"}, {"-r", "3"}, {"-r", "3:99999999999,1,2,3"}}) {
        const Parsed p = parse(args);
        EXPECT_EQ(p.status, kExitUsage);
        EXPECT_NE(p.err.find("qv_demo:"), std::string::npos) << p.err;
        EXPECT_NE(p.err.find("--help"), std::string::npos) << p.err;
    }
    const Parsed bad_region = parse({"-r", "3:1,2,3,z"});
    EXPECT_NE(bad_region.err.find("3:1,2,3,z"), std::string::npos) << bad_region.err;
}

TEST(CommandLine, AtMostTenRegions)
{
    EXPECT_EQ(parse({"-r", "3:1,1,2,2", "-r", "3:1,1,2,2", "-r", "3:1,1,2,2", "-r", "3:1,1,2,2", "-r",
                     "3:1,1,2,2", "-r", "3:1,1,2,2", "-r", "3:1,1,2,2", "-r", "3:1,1,2,2", "-r", "3:1,1,2,2",
                     "-r", "3:1,1,2,2", "-r", "3:1,1,2,2"})
                  .status,
              kExitUsage);
}

TEST(CommandLine, HelpListsExitCodes)
{
    std::vector<std::string> storage{"qv_demo", "--help"};
    std::vector<char *> argv{storage[0].data(), storage[1].data()};
    RunOptions options;
    testing::internal::CaptureStdout();
    const int status = parse_command_line(2, argv.data(), options);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("Exit status"), std::string::npos);
    EXPECT_NE(out.find("--region"), std::string::npos);
}

TEST(RegionArg, ParsesAndZeroFills)
{
    qv_region region;
    std::memset(&region, 0xAB, sizeof region);
    ASSERT_EQ(parse_region_arg("4:-1,2,30,40,50,-60", region), "");
    EXPECT_EQ(region.kind, 4);
    EXPECT_EQ(region.point_count, 3);
    EXPECT_EQ(region.points[0].x, -1);
    EXPECT_EQ(region.points[2].y, -60);
    EXPECT_EQ(region.points[3].x, 0);
    EXPECT_EQ(region.reserved[7], 0);
    EXPECT_NE(parse_region_arg("3:1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22", region), "");
    EXPECT_NE(parse_region_arg("3:", region), "");
    EXPECT_NE(parse_region_arg("3:1,,2,3", region), "");
}

TEST(CommandLine, NewOptionsAreTaken)
{
    const Parsed p = parse({"--events", "e.jsonl", "--snapshots", "snaps", "--counters", "--quiet", "--no-video",
                            "--caption-hold", "2.5", "--preview", "p.png", "-n", "0", "-o", "OUT.AVI"});
    ASSERT_EQ(p.status, -1) << p.err;
    EXPECT_EQ(p.options.events_path, "e.jsonl");
    EXPECT_EQ(p.options.snapshots_dir, "snaps");
    EXPECT_TRUE(p.options.draw_counters);
    EXPECT_TRUE(p.options.quiet);
    EXPECT_TRUE(p.options.no_video);
    EXPECT_DOUBLE_EQ(p.options.caption_hold_s, 2.5);
    EXPECT_EQ(p.options.preview_path, "p.png");
    EXPECT_EQ(p.options.max_frames, 0);  // no limit
    EXPECT_TRUE(p.options.region_names.empty());

    const Parsed segments = parse({"--segment-minutes", "0.01", "--keep-segments", "48"});
    ASSERT_EQ(segments.status, -1) << segments.err;
    EXPECT_DOUBLE_EQ(segments.options.segment_minutes, 0.01);
    EXPECT_EQ(segments.options.keep_segments, 48);
}

TEST(CommandLine, ErrorsSayWhatToDoInOneLine)
{
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    for (const Case &c : std::vector<Case>{
             {{"-n", "-1"}, "whole number of frames from 0 (no limit)"},
             {{"-n", "1e3"}, "got '1e3'"},
             {{"-n", "99999999999"}, "got '99999999999'"},
             {{"-o", "o.mp4"}, "must end in .avi, got 'o.mp4'"},
             {{"-o", "clip.avi.mkv"}, "must end in .avi"},
             {{"-o", "dir.avi/o.Mp4"}, "must end in .avi"},
             {{"--font", "/nonexistent/font.ttf"}, "--font: "},
             {{"-r", "3:5,5,5,5"}, "bad region 1 '3:5,5,5,5': the line's two end points are the same"},
             {{"-r", "3:1,1,9,9", "-r", "7:1,1,9,9"}, "bad region 2 '7:1,1,9,9': kind 7 is not 1-5"},
             {{"-r", "1:0,0,9,9,9,0,0,9"}, "crosses itself"},
             {{"-r", "3:1,1,9,9", "--rules", "r.yaml"}, "either with --region or with --rules"},
             {{"--rules", "/nonexistent/r.yaml"}, "cannot read rule file /nonexistent/r.yaml"},
             {{"--caption-hold", "-1"}, "--caption-hold"},
             {{"--keep-segments", "3"}, "--keep-segments needs --segment-minutes"},
             {{"--segment-minutes", "0"}, "--segment-minutes"},
             {{"--segment-minutes", "5", "--keep-segments", "0"}, "--keep-segments"},
             {{"--segment-minutes", "5", "--no-video"}, "cannot go with --no-video"}}) {
        const Parsed p = parse(c.args);
        EXPECT_EQ(p.status, kExitUsage) << c.args[0];
        EXPECT_NE(p.err.find(c.says), std::string::npos) << p.err;
        EXPECT_EQ(std::count(p.err.begin(), p.err.end(), '\n'), 2) << p.err;  // the error and the --help hint
        EXPECT_LT(p.err.size(), 200u) << p.err;
    }
}
