#include "driver/video_output.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

std::string VideoOutput::open(const std::string &path, cv::Size size, double fps)
{
    path_ = path;
    frames_ = 0;
    // The writer reports no write errors; a device such as /dev/full would swallow the run silently.
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return "cannot create output video " + path + ": not a regular file";
    if (!writer_.open(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps, size, true))
        return "cannot create output video " + path;
    return {};
}

void VideoOutput::write(const cv::Mat &frame)
{
    writer_.write(frame);
    ++frames_;
}

std::string VideoOutput::close()
{
    if (!writer_.isOpened())
        return {};
    writer_.release();
    if (frames_ == 0)
        return {};
    // The writer cannot tell us it ran out of space; the finished file can.
    cv::VideoCapture check(path_, cv::CAP_ANY);
    const double stored = check.isOpened() ? check.get(cv::CAP_PROP_FRAME_COUNT) : 0.0;
    if (static_cast<int>(stored) != frames_)
        return "output video " + path_ + " holds " + std::to_string(static_cast<int>(stored)) + " of " +
               std::to_string(frames_) + " frames (disk full?)";
    return {};
}
