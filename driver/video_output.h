#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <opencv2/core.hpp>

#include "driver/jpeg_encoder.h"
#include "driver/jpeg_sink.h"

struct AVFormatContext;
struct AVPacket;

// The run's output video: a standard Motion JPEG AVI (fourcc MJPG). Pictures are
// compressed by libjpeg-turbo and stored as they are; FFmpeg's muxer writes the
// container, indexes included (OpenDML past 1 GB). Closed on every way out
// (destructor), so the file is valid with the frames written so far. Can be
// opened again after close, for the next file. When the disk holding it runs
// low, it stops taking frames while there is still room for the index, so the
// file stays playable.
class VideoOutput : public JpegSink {
public:
    VideoOutput();
    ~VideoOutput();
    VideoOutput(const VideoOutput &) = delete;
    VideoOutput &operator=(const VideoOutput &) = delete;

    // Creates path for frames of the given size at fps frames per second.
    // Returns "" or a one-line reason.
    std::string open(const std::string &path, cv::Size size, double fps = 30.0);

    // Compresses and appends one 8-bit BGR frame of the opened size.
    void write(const cv::Mat &frame);

    // Appends one JPEG picture, compressed elsewhere, as the next frame.
    void write_jpeg(const uint8_t *data, size_t size) override;

    // True once a frame was refused or could not be stored.
    bool failed() const override { return !error_.empty(); }

    // Closes the file and checks that it holds every frame written; returns ""
    // or a one-line reason (a full disk, say).
    std::string close();

    bool is_open() const { return context_ != nullptr; }
    int frames() const { return frames_; }

private:
    void fail(const std::string &what, int av_error);
    bool room_for(size_t picture_size);

    AVFormatContext *context_ = nullptr;
    AVPacket *packet_ = nullptr;
    std::unique_ptr<JpegEncoder> encoder_;  // for write(); made on first use
    std::string path_;
    cv::Size size_;
    bool header_written_ = false;
    int frames_ = 0;
    uint64_t known_free_ = 0;   // free bytes at the last look, less what was written since
    int unchecked_frames_ = 0;  // frames written since the last look
    std::string error_;  // the first write error
};
