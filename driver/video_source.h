#pragma once
#include <cstdint>
#include <atomic>
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

    // Reads the next frame as 8-bit BGR into frame, reusing its buffer when the
    // size is unchanged; the frame never shares memory with the decoder. False at the end of a file, or once a
    // stream or camera has delivered nothing for a bounded number of tries.
    bool read(cv::Mat &frame);

    // Why the last read ended the input early ("" for a normal end of file).
    const std::string &end_reason() const { return end_reason_; }

    // Asks a read in progress on another thread to give up after its current
    // attempt instead of trying again (a stalled camera when the run is stopped).
    void abandon() { abandoned_ = true; }

    // A stream or a camera (frames come at their own pace) rather than a file.
    bool live() const { return live_; }

    void release() { capture_.release(); }

    // Opens the same source again after it was lost. Returns "" or why not.
    std::string reopen()
    {
        const std::string source = source_;
        capture_.release();
        return open(source);
    }

    // The frame rate the source reports (0 or nonsense when it does not know).
    double fps() const;

    // Where the frame last read lies in the source, in milliseconds; counted
    // from the frames read so far at the source's rate when it gives no timestamps.
    // Call from the thread that reads.
    int64_t position_ms() const;

private:
    void normalise(cv::Mat &frame);

    cv::VideoCapture capture_;
    std::string source_;
    int64_t frames_read_ = 0;
    bool live_ = false;  // stream or camera: a failed read may be a hiccup
    std::string end_reason_;
    std::atomic<bool> abandoned_{false};
};
