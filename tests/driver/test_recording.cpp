#include <gtest/gtest.h>

#include <fstream>
#include <sys/mount.h>
#include <sys/stat.h>

#include <opencv2/videoio.hpp>

#include "driver/exit_codes.h"
#include "driver/recording.h"
#include "tests/support/clips.h"
#include "tests/support/fake_detector.h"
#include "tests/support/run_helpers.h"

namespace {

// The frame count a file's header states, as players read it.
int stated_frames(const std::string &path)
{
    cv::VideoCapture capture(path, cv::CAP_FFMPEG);
    return capture.isOpened() ? static_cast<int>(capture.get(cv::CAP_PROP_FRAME_COUNT)) : -1;
}

// Options whose segments hold `frames` frames of a 25 fps clip.
RunOptions segmented(const std::string &clip, const std::string &output, int frames, int keep = 0)
{
    RunOptions options = test_options(clip, output);
    options.segment_minutes = frames / (60.0 * 25.0);
    options.keep_segments = keep;
    return options;
}

// A small tmpfs, for a disk that really fills up. Mounting needs root; without it the test skips.
class SmallDisk {
public:
    SmallDisk(const std::string &path, const char *size) : path_(path)
    {
        mkdir(path.c_str(), 0755);
        mounted_ = mount("tmpfs", path.c_str(), "tmpfs", 0, (std::string("size=") + size).c_str()) == 0;
    }
    ~SmallDisk()
    {
        if (mounted_)
            umount2(path_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }

private:
    std::string path_;
    bool mounted_ = false;
};

} // namespace

TEST(Recording, SegmentNamesComeFromTheOutputName)
{
    EXPECT_EQ(segment_path("result_2019_9_23.avi", 1), "result_2019_9_23-0001.avi");
    EXPECT_EQ(segment_path("/srv/rec/gate.AVI", 42), "/srv/rec/gate-0042.AVI");
    EXPECT_EQ(segment_path("cam.v2/out", 7), "cam.v2/out-0007");  // a dot in a folder is no extension
    EXPECT_EQ(segment_path(".avi", 3), ".avi-0003");
    EXPECT_EQ(segment_path("a.b.avi", 12345), "a.b-12345.avi");
    EXPECT_EQ(frames_per_segment(10, 25), 15000);
    EXPECT_EQ(frames_per_segment(0.01, 30), 18);
    EXPECT_EQ(frames_per_segment(0.0001, 25), 1);  // never an empty segment
}

// Two encoders race each other on 720p frames; every segment still holds its frames
// in order, each file is complete, and together they hold every frame once.
TEST(Recording, SegmentsFollowEachOtherInFrameOrder)
{
    TempDir dir;
    fake::reset();
    const std::string clip = write_numbered_clip(dir.file("in.avi"), 60, 1280, 720);
    const CapturedRun run = run_captured(segmented(clip, dir.file("out.avi"), 7));
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_FALSE(path_exists(dir.file("out.avi")));
    std::vector<int> all;
    for (int s = 1; s <= 9; ++s) {
        const std::string path = segment_path(dir.file("out.avi"), s);
        const std::vector<int> numbers = read_frame_numbers(path);
        EXPECT_EQ(numbers.size(), s < 9 ? 7u : 3u) << path;
        EXPECT_EQ(stated_frames(path), static_cast<int>(numbers.size())) << path;
        all.insert(all.end(), numbers.begin(), numbers.end());
    }
    EXPECT_FALSE(path_exists(segment_path(dir.file("out.avi"), 10)));
    EXPECT_EQ(all, numbers_from(1, 59));
}

// Only the newest M segments stay; files this run did not write are never touched.
TEST(Recording, KeepsTheNewestSegmentsAndOnlyDeletesItsOwn)
{
    TempDir dir;
    fake::reset();
    const std::string clip = write_numbered_clip(dir.file("in.avi"), 51);
    std::ofstream(dir.file("out.avi")) << "an earlier single recording";
    std::ofstream(dir.file("out-0042.avi")) << "a segment of an earlier run";
    const CapturedRun run = run_captured(segmented(clip, dir.file("out.avi"), 10, 2));
    ASSERT_EQ(run.status, kExitOk) << run.err;
    for (int s = 1; s <= 3; ++s)
        EXPECT_FALSE(path_exists(segment_path(dir.file("out.avi"), s))) << s;
    EXPECT_EQ(read_frame_numbers(dir.file("out-0004.avi")), numbers_from(31, 40));
    EXPECT_EQ(read_frame_numbers(dir.file("out-0005.avi")), numbers_from(41, 50));
    EXPECT_TRUE(path_exists(dir.file("out.avi")));
    EXPECT_TRUE(path_exists(dir.file("out-0042.avi")));

    Recording recording(dir.file("r.avi"), 4, 3);
    ASSERT_EQ(recording.open(cv::Size(64, 48), 25), "");
    const std::vector<uint8_t> picture = {0xff, 0xd8, 0xff, 0xd9};
    for (int k = 0; k < 21; ++k)
        recording.write_jpeg(picture.data(), picture.size());
    EXPECT_EQ(recording.files(), (std::deque<std::string>{dir.file("r-0004.avi"), dir.file("r-0005.avi"),
                                                         dir.file("r-0006.avi")}));
}

// The disk fills up mid-run: the run ends with the output status and says so, and
// every file left is a complete AVI holding an unbroken run of frames.
TEST(Recording, AFullDiskEndsTheRunWithValidFiles)
{
    TempDir dir;
    SmallDisk disk(dir.file("disk"), "600k");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    fake::reset();
    const std::string clip = write_numbered_clip(dir.file("in.avi"), 400, 320, 240);
    for (const int per_segment : {0, 10}) {
        SCOPED_TRACE(per_segment);
        const std::string output = dir.file("disk/out" + std::to_string(per_segment) + ".avi");
        RunOptions options = per_segment > 0 ? segmented(clip, output, per_segment) : test_options(clip, output);
        const CapturedRun run = run_captured(options);
        EXPECT_EQ(run.status, kExitOutput) << run.err;
        EXPECT_NE(run.err.find("disk full"), std::string::npos) << run.err;
        std::vector<int> all;
        for (int s = 1; per_segment == 0 ? s == 1 : path_exists(segment_path(output, s)); ++s) {
            const std::string path = per_segment > 0 ? segment_path(output, s) : output;
            const std::vector<int> numbers = read_frame_numbers(path);
            EXPECT_GT(numbers.size(), 0u) << path;
            EXPECT_EQ(stated_frames(path), static_cast<int>(numbers.size())) << path;
            all.insert(all.end(), numbers.begin(), numbers.end());
        }
        ASSERT_FALSE(all.empty());
        EXPECT_LT(all.size(), 399u);
        EXPECT_EQ(all, numbers_from(1, static_cast<int>(all.size())));
        std::remove(output.c_str());
        for (int s = 1; s < 100; ++s)
            std::remove(segment_path(output, s).c_str());
    }
}
