#pragma once
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

// The run's output video: MJPG AVI. Closed on every
// way out (destructor), so the file is valid with the frames written so far.
class VideoOutput {
public:
    // Creates path for frames of the given size, played at fps. Returns "" or a one-line reason.
    std::string open(const std::string &path, cv::Size size, double fps = 30.0);

    void write(const cv::Mat &frame);

    // Closes the file and checks that it holds every frame written; returns ""
    // or a one-line reason (a full disk, say).
    std::string close();

private:
    cv::VideoWriter writer_;
    std::string path_;
    int frames_ = 0;
};
