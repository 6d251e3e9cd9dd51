#include "tests/support/clips.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <sys/stat.h>

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

int count_file_lines(const std::string &path)
{
    std::ifstream in(path);
    int n = 0;
    for (std::string line; std::getline(in, line);)
        ++n;
    return n;
}

std::vector<std::string> read_lines(const std::string &path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool path_exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
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

namespace {
// Ten blocks of 12x12 pixels, one bit each, lowest bit first, in a band clear of
// what the run draws near the top-left corner.
constexpr int kNumberBits = 10;
constexpr int kBlock = 12;
constexpr int kBlockStep = 14;

cv::Rect number_block(const cv::Size &size, int bit)
{
    return cv::Rect(8 + kBlockStep * bit, size.height - kBlock - 6, kBlock, kBlock);
}
} // namespace

void paint_frame_number(cv::Mat &frame, int k)
{
    for (int bit = 0; bit < kNumberBits; ++bit) {
        const int value = ((k >> bit) & 1) ? 255 : 0;
        cv::rectangle(frame, number_block(frame.size(), bit), cv::Scalar(value, value, value), cv::FILLED);
    }
}

std::string write_numbered_clip(const std::string &path, int frames, int width, int height)
{
    cv::VideoWriter writer(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0, cv::Size(width, height), true);
    if (!writer.isOpened())
        throw std::runtime_error("cannot write test clip " + path);
    for (int k = 0; k < frames; ++k) {
        cv::Mat frame(height, width, CV_8UC3, cv::Scalar(90, 100, 110));
        paint_frame_number(frame, k);
        writer.write(frame);
    }
    return path;
}

int read_frame_number(const cv::Mat &frame)
{
    int k = 0;
    for (int bit = 0; bit < kNumberBits; ++bit) {
        const cv::Rect block = number_block(frame.size(), bit);
        const cv::Point centre(block.x + block.width / 2, block.y + block.height / 2);
        const int value = frame.channels() == 1 ? frame.at<uint8_t>(centre) : frame.at<cv::Vec3b>(centre)[1];
        if (value > 127)
            k |= 1 << bit;
    }
    return k;
}

std::vector<int> read_frame_numbers(const std::string &path)
{
    cv::VideoCapture capture(path, cv::CAP_FFMPEG);
    std::vector<int> numbers;
    cv::Mat frame;
    while (capture.read(frame) && !frame.empty())
        numbers.push_back(read_frame_number(frame));
    return numbers;
}

std::vector<int> numbers_from(int first, int last)
{
    std::vector<int> numbers;
    for (int k = first; k <= last; ++k)
        numbers.push_back(k);
    return numbers;
}
