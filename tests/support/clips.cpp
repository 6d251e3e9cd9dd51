#include "tests/support/clips.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "qv_test_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string write_test_clip(const std::string &path, int frames, int width, int height, double fps)
{
    cv::VideoWriter writer(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps, cv::Size(width, height), true);
    if (!writer.isOpened())
        throw std::runtime_error("cannot write test clip " + path);
    for (int k = 0; k < frames; ++k) {
        cv::Mat frame(height, width, CV_8UC3, cv::Scalar(90, 100, 110));
        const int x = (k * 4) % std::max(1, width - 20);
        cv::rectangle(frame, cv::Rect(x, height / 3, 16, 24), cv::Scalar(240, 240, 240), cv::FILLED);
        writer.write(frame);
    }
    return path;
}

int count_readable_frames(const std::string &path)
{
    cv::VideoCapture capture(path, cv::CAP_FFMPEG);
    if (!capture.isOpened())
        return -1;
    int n = 0;
    cv::Mat frame;
    while (capture.read(frame) && !frame.empty())
        ++n;
    return n;
}
