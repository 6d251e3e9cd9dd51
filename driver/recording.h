#pragma once
#include <cstdint>
#include <deque>
#include <string>

#include <opencv2/core.hpp>

#include "driver/jpeg_sink.h"
#include "driver/video_output.h"

// The name of segment number (from 1) of the recording named output: "-" and the
// number in at least four digits go before the extension, so result.avi gives
// result-0001.avi, result-0002.avi ... result-10000.avi; a name without an
// extension just gets the suffix.
std::string segment_path(const std::string &output, int64_t number);

// Frames in one segment of minutes of video at fps frames a second; at least one.
int64_t frames_per_segment(double minutes, double fps);

// The run's recording: one AVI, or a series of AVIs of frames_per_segment frames
// each, the next one begun before the frame that would overfill the current one.
// With keep > 0 only the newest keep segments of this run are left on disk.
// Every file it closes is a complete MJPG AVI.
class Recording : public JpegSink {
public:
    // frames_per_segment 0: a single file named output.
    Recording(std::string output, int64_t frames_per_segment = 0, int keep = 0);
    ~Recording() override;
    Recording(const Recording &) = delete;
    Recording &operator=(const Recording &) = delete;

    // The first file the recording will create (for the checks before a start).
    std::string first_path() const;

    // Creates the first file. Returns "" or a one-line reason.
    std::string open(cv::Size size, double fps);

    // Writes one picture, starting the next segment first when the current one is full.
    // Does nothing when no file is open (never opened, closed, or a segment that failed to start).
    void write_jpeg(const uint8_t *data, size_t size) override;

    bool failed() const override { return !error_.empty() || file_.failed(); }

    // Closes the file being written. Returns "" or the first failure.
    std::string close();

    // Files this run made that are still on disk, oldest first.
    const std::deque<std::string> &files() const { return files_; }

private:
    std::string start_segment();
    void remove_old_segments();

    std::string output_;
    int64_t per_segment_;
    int keep_;
    cv::Size size_;
    double fps_ = 30.0;
    int64_t segment_ = 0;  // number of the segment being written, from 1
    VideoOutput file_;
    std::deque<std::string> files_;
    std::string error_;
};
