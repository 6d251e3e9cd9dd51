#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "driver/video_output.h"
#include "tests/support/clips.h"

namespace {

std::vector<cv::Mat> numbered_frames(int count, cv::Size size)
{
    std::vector<cv::Mat> frames;
    cv::RNG rng(7);
    for (int k = 0; k < count; ++k) {
        cv::Mat frame(size, CV_8UC3);
        rng.fill(frame, cv::RNG::UNIFORM, 60, 200);
        cv::GaussianBlur(frame, frame, cv::Size(9, 9), 0);  // texture a camera might see
        paint_frame_number(frame, k);
        frames.push_back(frame);
    }
    return frames;
}

} // namespace

TEST(VideoOutput, WritesAStandardMjpgAviWithItsFramesCountAndRate)
{
    TempDir dir;
    const cv::Size size(320, 240);
    const std::vector<cv::Mat> frames = numbered_frames(12, size);
    for (const double fps : {30.0, 25.0, 30000.0 / 1001.0}) {
        const std::string path = dir.file("out" + std::to_string(static_cast<int>(fps * 100)) + ".avi");
        VideoOutput output;
        ASSERT_EQ(output.open(path, size, fps), "");
        for (const cv::Mat &frame : frames)
            output.write(frame);
        ASSERT_EQ(output.close(), "");

        cv::VideoCapture capture(path, cv::CAP_FFMPEG);
        ASSERT_TRUE(capture.isOpened());
        EXPECT_EQ(static_cast<int>(capture.get(cv::CAP_PROP_FOURCC)), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'));
        EXPECT_NEAR(capture.get(cv::CAP_PROP_FPS), fps, 0.01);
        EXPECT_EQ(capture.get(cv::CAP_PROP_FRAME_COUNT), 12.0);
        cv::Mat back;
        for (int k = 0; k < 12; ++k) {
            ASSERT_TRUE(capture.read(back)) << "frame " << k;
            EXPECT_EQ(read_frame_number(back), k);
            EXPECT_GT(cv::PSNR(back, frames[static_cast<size_t>(k)]), 35.0) << "frame " << k;
        }
        EXPECT_FALSE(capture.read(back));
    }
}

TEST(VideoOutput, ClosesOneFileAndOpensTheNextAndRefusesMisfits)
{
    TempDir dir;
    const cv::Size size(160, 120);
    const std::vector<cv::Mat> frames = numbered_frames(5, size);
    VideoOutput output;
    ASSERT_EQ(output.open(dir.file("a.avi"), size), "");
    output.write(frames[0]);
    output.write(frames[1]);
    ASSERT_EQ(output.open(dir.file("b.avi"), size), "");  // opening again closes the first file
    for (const cv::Mat &frame : frames)
        output.write(frame);
    // A frame of another size would make a picture the file's header does not describe.
    output.write(cv::Mat(cv::Size(200, 100), CV_8UC3, cv::Scalar(1, 2, 3)));
    EXPECT_EQ(output.frames(), 5);
    EXPECT_NE(output.close(), "");
    EXPECT_EQ(read_frame_numbers(dir.file("a.avi")), (std::vector<int>{0, 1}));
    EXPECT_EQ(read_frame_numbers(dir.file("b.avi")), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(output.close(), "");  // closing twice is harmless
}
