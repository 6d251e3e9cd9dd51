#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "tests/robustness/demo_runner.h"
#include "tests/support/clips.h"

namespace {

std::vector<char> read_bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const std::string &path, const std::vector<char> &bytes, size_t size)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
}

// A damaged input may end the run early or not open at all, but never kills it,
// and what was decoded before the damage is processed and written.
void expect_orderly(const ChildResult &run, const std::string &input, const std::string &output)
{
    ASSERT_FALSE(run.timed_out) << input;
    ASSERT_TRUE(run.exited) << input << " killed by signal " << run.signal << "\n" << run.err;
    if (run.status == 3) {
        EXPECT_EQ(processed_frames(run), 0);
        EXPECT_EQ(error_lines(run), 1) << run.err;
        return;
    }
    ASSERT_EQ(run.status, 0) << input << "\n" << run.err;
    const int readable = count_readable_frames(input);
    EXPECT_EQ(processed_frames(run), std::max(0, readable - 1)) << input;
    EXPECT_EQ(count_readable_frames(output), processed_frames(run)) << input;
}

} // namespace

TEST(BadVideo, CutFilesEndInOrder)
{
    TempDir dir;
    const std::string clip = write_test_clip(dir.file("good.avi"), 24, 96, 64);
    const std::vector<char> bytes = read_bytes(clip);
    for (int i = 1; i <= 20; ++i) {
        const size_t cut = bytes.size() * static_cast<size_t>(i) / 21;
        const std::string input = dir.file("cut" + std::to_string(i) + ".avi");
        write_bytes(input, bytes, cut);
        expect_orderly(run_demo_binary(input, dir.file("out.avi")), input, dir.file("out.avi"));
    }
}

TEST(BadVideo, ByteFlippedFilesEndInOrder)
{
    TempDir dir;
    const std::string clip = write_test_clip(dir.file("good.avi"), 12, 96, 64);
    const std::vector<char> good = read_bytes(clip);
    std::mt19937 rng(20261208);
    for (int i = 0; i < 100; ++i) {
        std::vector<char> bytes = good;
        const int flips = 1 + static_cast<int>(rng() % 16);
        for (int f = 0; f < flips; ++f)
            bytes[rng() % bytes.size()] ^= static_cast<char>(1 + rng() % 255);
        const std::string input = dir.file("flip" + std::to_string(i) + ".avi");
        write_bytes(input, bytes, bytes.size());
        expect_orderly(run_demo_binary(input, dir.file("out.avi")), input, dir.file("out.avi"));
    }
}

TEST(BadVideo, FrameSizeChangingMidStreamIsScaledToTheFirst)
{
    TempDir dir;
    // Motion JPEG as bare concatenated pictures may change size from one picture to the next.
    std::ofstream stream(dir.file("sizes.mjpeg"), std::ios::binary);
    for (int k = 0; k < 10; ++k) {
        const cv::Size size = k < 5 ? cv::Size(96, 64) : cv::Size(160, 120);
        cv::Mat frame(size, CV_8UC3, cv::Scalar(80, 90, 100));
        cv::circle(frame, {10 + 6 * k, 30}, 8, cv::Scalar(250, 250, 250), cv::FILLED);
        std::vector<uchar> jpeg;
        cv::imencode(".jpg", frame, jpeg);
        stream.write(reinterpret_cast<const char *>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
    }
    stream.close();
    const ChildResult run = run_demo_binary(dir.file("sizes.mjpeg"), dir.file("out.avi"));
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("width = 96 height = 64"), std::string::npos) << run.out;
    EXPECT_EQ(processed_frames(run), 9);
    EXPECT_EQ(count_readable_frames(dir.file("out.avi")), 9);
}
