#pragma once
#include <cstdint>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

// A reported frame rate when it is sane (1-240), else 30. Streams and odd
// files report 0, NaN or 1000; recording at those rates plays at the wrong speed.
double sane_frame_rate(double reported);

// The run's input: a video file, a stream URL or a camera index.
class VideoSource {
public:
    // Opens source. Returns an empty string, or a one-line reason naming it.
    std::string open(const std::string &source);

    // Opens source and reads its first frame. Returns "" or a one-line reason naming it.
    std::string open_first(const std::string &source, cv::Mat &frame);

    // Reads the next frame as 8-bit BGR. False at the end of a file, or once a
    // stream or camera has delivered nothing for a bounded number of tries.
    bool read(cv::Mat &frame);

    // Why the last read ended the input early ("" for a normal end of file).
    const std::string &end_reason() const { return end_reason_; }

    void release() { capture_.release(); }

    // The frame rate the source reports (0 or nonsense when it does not know).
    double fps() const;

    // Where the frame last read lies in the source, in milliseconds; counted from
    // frames_read (frames read so far, the size-probing one included) when the
    // source gives no timestamps.
    int64_t position_ms(int64_t frames_read) const;

private:
    cv::VideoCapture capture_;
    cv::Mat raw_;
    std::string source_;
    bool live_ = false;  // stream or camera: a failed read may be a hiccup
    std::string end_reason_;
};
