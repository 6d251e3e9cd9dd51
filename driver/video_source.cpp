#include "driver/video_source.h"

#include <cerrno>
#include <cmath>
#include <chrono>
#include <cstring>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "driver/stream_probe.h"

namespace {

// A stream that delivers nothing for this long has stopped.
constexpr int kOpenTimeoutMs = 10000;
constexpr int kReadTimeoutMs = 5000;
constexpr int kLiveReadAttempts = 3;

bool is_camera_index(const std::string &source)
{
    return !source.empty() && source.size() <= 3 && source.find_first_not_of("0123456789") == std::string::npos;
}

bool is_url(const std::string &source)
{
    return source.find("://") != std::string::npos;
}

} // namespace

double sane_frame_rate(double reported)
{
    return std::isfinite(reported) && reported >= 1.0 && reported <= 240.0 ? reported : 30.0;
}

std::string VideoSource::open(const std::string &source)
{
    source_ = source;
    end_reason_.clear();
    abandoned_ = false;
    const std::vector<int> timeouts = {cv::CAP_PROP_OPEN_TIMEOUT_MSEC, kOpenTimeoutMs, cv::CAP_PROP_READ_TIMEOUT_MSEC,
                                       kReadTimeoutMs};
    if (is_camera_index(source)) {
        live_ = true;
        if (!capture_.open(std::stoi(source), cv::CAP_ANY))
            return "cannot open camera " + source;
        return {};
    }
    live_ = is_url(source);
    if (!live_) {
        struct stat st;
        if (stat(source.c_str(), &st) != 0)
            return "cannot open video " + source + ": " + std::strerror(errno);
        if (S_ISDIR(st.st_mode))
            return "cannot open video " + source + ": it is a directory";
    }
    // FFmpeg reads every file and stream we take; other backends only add noise on bad input.
    if (!capture_.open(source, cv::CAP_FFMPEG, timeouts)) {
        const std::string unreachable = live_ ? stream_unreachable_reason(source) : std::string();
        return "cannot open video " + source + ": " +
               (unreachable.empty() ? std::string("not a video that can be decoded") : unreachable);
    }
    return {};
}

std::string VideoSource::open_first(const std::string &source, cv::Mat &frame)
{
    const std::string error = open(source);
    if (!error.empty())
        return error;
    if (!read(frame))
        return "video " + source + " has no frames";
    return {};
}

double VideoSource::fps() const
{
    return capture_.isOpened() ? capture_.get(cv::CAP_PROP_FPS) : 0.0;
}

int64_t VideoSource::position_ms() const
{
    const int64_t frames_read = frames_read_;
    const double at = capture_.isOpened() ? capture_.get(cv::CAP_PROP_POS_MSEC) : -1.0;
    if (std::isfinite(at) && at >= 0.0 && (at > 0.0 || frames_read <= 1))
        return static_cast<int64_t>(at + 0.5);
    // No timestamps from this source: count frames at its rate.
    return static_cast<int64_t>((frames_read - 1) * 1000.0 / sane_frame_rate(fps()) + 0.5);
}

bool VideoSource::read(cv::Mat &frame)
{
    for (int attempt = 0; attempt < (live_ ? kLiveReadAttempts : 1) && !abandoned_; ++attempt) {
        bool ok = false;
        try {
            ok = capture_.read(frame) && !frame.empty();
        } catch (const cv::Exception &) {
            ok = false;  // a decoder fault mid-file ends the input like its end would
        }
        if (ok) {
            normalise(frame);
            ++frames_read_;
            return true;
        }
        if (live_)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (live_)
        end_reason_ = source_ + " stopped delivering frames";
    return false;
}

void VideoSource::normalise(cv::Mat &frame)
{
    // The caller keeps frames while the next ones are decoded: a backend that lent
    // us its own buffer would overwrite them.
    if (frame.u == nullptr || frame.u->refcount > 1) {
        const cv::Mat lent = frame;
        frame = cv::Mat();
        lent.copyTo(frame);
    }
    // The working images are 8-bit BGR whatever the decoder hands out.
    if (frame.depth() != CV_8U) {
        const cv::Mat wide = frame;
        frame = cv::Mat();
        wide.convertTo(frame, CV_8U);
    }
    if (frame.channels() == 1 || frame.channels() == 4) {
        const cv::Mat other = frame;
        frame = cv::Mat();
        cv::cvtColor(other, frame, other.channels() == 1 ? cv::COLOR_GRAY2BGR : cv::COLOR_BGRA2BGR);
    }
}
