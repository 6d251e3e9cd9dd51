// Times the ways of writing the run's MJPG AVI on frames of a real clip, in one run:
// OpenCV's writer through its default backend (FFmpeg's MJPEG encoder), OpenCV's
// built-in MJPEG writer, and libjpeg-turbo pictures stored by our VideoOutput at
// several qualities. For each: median milliseconds per frame, bytes per frame, and
// PSNR of the frames read back against the frames given. Also the median decode time.
//   writer_bench CLIP [FRAMES]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include "driver/jpeg_encoder.h"
#include "driver/video_output.h"

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

double ms_since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long file_size(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

// Mean PSNR of the file's frames against the originals; also checks the count.
double read_back_psnr(const std::string &path, const std::vector<cv::Mat> &originals, int &count)
{
    cv::VideoCapture capture(path, cv::CAP_FFMPEG);
    double sum = 0.0;
    count = 0;
    cv::Mat frame;
    while (capture.read(frame) && count < static_cast<int>(originals.size()))
        sum += cv::PSNR(frame, originals[static_cast<size_t>(count++)]);
    return count > 0 ? sum / count : 0.0;
}

void report(const char *name, const std::string &path, const std::vector<double> &times,
            const std::vector<cv::Mat> &frames)
{
    int count = 0;
    const double psnr = read_back_psnr(path, frames, count);
    std::printf("%-34s %8.2f %10ld %8.2f %6d\n", name, median(times), file_size(path) / static_cast<long>(frames.size()),
                psnr, count);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: writer_bench CLIP [FRAMES]\n");
        return 2;
    }
    const int wanted = argc > 2 ? std::atoi(argv[2]) : 120;
    cv::VideoCapture capture(argv[1], cv::CAP_FFMPEG);
    std::vector<cv::Mat> frames;
    std::vector<double> decode;
    for (int k = 0; k < wanted; ++k) {
        cv::Mat frame;
        const auto start = Clock::now();
        if (!capture.read(frame) || frame.empty())
            break;
        decode.push_back(ms_since(start));
        frames.push_back(frame);
    }
    if (frames.empty()) {
        std::fprintf(stderr, "writer_bench: no frames in %s\n", argv[1]);
        return 3;
    }
    const cv::Size size = frames[0].size();
    const std::string dir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
    std::printf("%d frames of %dx%d; decode median %.2f ms per frame\n\n", static_cast<int>(frames.size()),
                size.width, size.height, median(decode));
    std::printf("%-34s %8s %10s %8s %6s\n", "writer", "ms/frame", "bytes/frm", "PSNR dB", "frames");

    const struct {
        const char *name;
        int api;
    } opencv_writers[] = {{"OpenCV default backend (FFmpeg)", cv::CAP_ANY},
                          {"OpenCV built-in MJPEG", cv::CAP_OPENCV_MJPEG}};
    for (const auto &w : opencv_writers) {
        const std::string path = dir + "/writer_bench_opencv.avi";
        cv::VideoWriter writer(path, w.api, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30.0, size, true);
        std::vector<double> times;
        for (const cv::Mat &frame : frames) {
            const auto start = Clock::now();
            writer.write(frame);
            times.push_back(ms_since(start));
        }
        writer.release();
        report(w.name, path, times, frames);
        std::remove(path.c_str());
    }
    for (const int quality : {80, 85, 90}) {
        const std::string path = dir + "/writer_bench_jpeg.avi";
        VideoOutput output;
        if (!output.open(path, size).empty())
            return 4;
        JpegEncoder encoder(quality);
        std::vector<double> times;
        for (const cv::Mat &frame : frames) {
            const auto start = Clock::now();
            encoder.encode(frame);
            output.write_jpeg(encoder.data(), encoder.size());
            times.push_back(ms_since(start));
        }
        const std::string error = output.close();
        if (!error.empty())
            std::fprintf(stderr, "%s\n", error.c_str());
        const std::string name = "libjpeg-turbo q" + std::to_string(quality) + " + VideoOutput";
        report(name.c_str(), path, times, frames);
        std::remove(path.c_str());
    }
    return 0;
}
