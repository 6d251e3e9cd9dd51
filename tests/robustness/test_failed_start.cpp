// The real program: a start that fails leaves the files of an earlier run as they were,
// and --preview writes its picture and nothing else.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <opencv2/imgcodecs.hpp>

#include "tests/robustness/demo_runner.h"
#include "tests/support/clips.h"

namespace {

} // namespace

TEST(FailedStart, EarlierOutputIsUntouched)
{
    TempDir dir;
    const std::string clip = write_test_clip(dir.file("in.avi"), 6, 160, 120);
    const std::string keep = dir.file("keep.avi");
    ASSERT_EQ(run_demo_binary(clip, keep, {"--json", dir.file("keep.jsonl")}).status, 0);
    const std::string avi = read_file(keep), json = read_file(dir.file("keep.jsonl"));
    ASSERT_GT(avi.size(), 1000u);

    struct Case {
        std::vector<std::string> extra;
        int status;
        std::string says;
    };
    for (const Case &c : std::vector<Case>{
             {{"-r", "3:10,10,10,10"}, 2, "end points are the same"},
             {{"-r", "9:10,10,20,20"}, 2, "kind 9"},
             {{"-r", "3:10,10,10,500"}, 6, "region 1 point 2 (10,500) lies outside the 160x120 frame"},
             {{"--json", dir.file("missing/f.jsonl")}, 4, dir.file("missing/f.jsonl")},
             {{"--events", dir.file("missing/e.jsonl")}, 4, dir.file("missing/e.jsonl")},
             {{"--font", dir.file("keep.jsonl")}, 2, "--font"}}) {
        std::vector<std::string> extra = c.extra;
        if (c.extra[0] != "--json")
            extra.insert(extra.end(), {"--json", dir.file("keep.jsonl")});
        const ChildResult run = run_demo_binary(clip, keep, extra);
        ASSERT_TRUE(run.exited);
        EXPECT_EQ(run.status, c.status) << c.extra[0];
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(read_file(keep), avi) << c.extra[0];
        EXPECT_EQ(read_file(dir.file("keep.jsonl")), json) << c.extra[0];
    }
    const ChildResult mp4 = run_demo_binary(clip, dir.file("o.mp4"));
    EXPECT_EQ(mp4.status, 2);
    EXPECT_NE(mp4.err.find(".avi"), std::string::npos) << mp4.err;
    struct stat st;
    EXPECT_NE(stat(dir.file("o.mp4").c_str(), &st), 0);
}

TEST(Preview, WritesTheFirstFrameWithNumberedRegionsAndStops)
{
    TempDir dir;
    const std::string clip = write_test_clip(dir.file("in.avi"), 6, 320, 240, 12.0);
    const ChildResult run = run_child({QV_DEMO_PATH, "-i", clip, "-o", dir.file("out.avi"), "--preview",
                                       dir.file("p.png"), "-r", "3:100,20,100,200", "-r", "1:150,50,300,50,300,230"},
                                      60);
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("frame size 320x240, 12 fps"), std::string::npos) << run.out;
    struct stat st;
    EXPECT_NE(stat(dir.file("out.avi").c_str(), &st), 0) << "a preview writes no video";
    const cv::Mat png = cv::imread(dir.file("p.png"));
    ASSERT_EQ(png.size(), cv::Size(320, 240));
    // The line is drawn thick in yellow: across its column, several yellow pixels side by side.
    int yellow = 0;
    for (int x = 94; x <= 106; ++x) {
        const cv::Vec3b p = png.at<cv::Vec3b>(120, x);
        yellow += p[2] > 200 && p[1] > 180 && p[0] < 80;
    }
    EXPECT_GE(yellow, 2);

    // A region outside the frame is named, and the picture still written for fixing it.
    const ChildResult outside = run_child({QV_DEMO_PATH, "-i", clip, "--preview", dir.file("q.png"), "-r",
                                           "3:100,20,100,400"},
                                          60);
    EXPECT_EQ(outside.status, 0);
    EXPECT_NE(outside.err.find("region 1 point 2 (100,400) lies outside the 320x240 frame"), std::string::npos)
        << outside.err;
    EXPECT_EQ(cv::imread(dir.file("q.png")).size(), cv::Size(320, 240));
}
