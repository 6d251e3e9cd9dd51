#pragma once
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include <jpeglib.h>
#include <opencv2/core.hpp>

// Compresses 8-bit BGR frames to baseline JPEG (4:2:0) with libjpeg-turbo. One
// encoder serves one thread; its output buffer is kept and only ever grows, so
// a run of same-size frames encodes without allocating buffers of ours.
class JpegEncoder {
public:
    // quality 1..100, as libjpeg understands it.
    explicit JpegEncoder(int quality);
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder &) = delete;
    JpegEncoder &operator=(const JpegEncoder &) = delete;

    // Encodes frame; false if libjpeg refused it (the picture is then empty).
    bool encode(const cv::Mat &frame);

    const uint8_t *data() const { return buffer_.data(); }
    size_t size() const { return size_; }

private:
    struct Destination {
        jpeg_destination_mgr manager;
        JpegEncoder *owner;
    };
    struct ErrorHandler {
        jpeg_error_mgr manager;
        std::jmp_buf escape;
    };
    static void start_output(j_compress_ptr cinfo);
    static boolean grow_output(j_compress_ptr cinfo);
    static void end_output(j_compress_ptr cinfo);
    static void fail(j_common_ptr cinfo);

    int quality_;
    jpeg_compress_struct cinfo_{};
    ErrorHandler error_{};
    Destination destination_{};
    std::vector<uint8_t> buffer_;
    size_t size_ = 0;
    std::vector<JSAMPROW> rows_;
};

// The quality of the output video: a little above what OpenCV's FFmpeg writer gave (README, "Speed").
constexpr int kOutputJpegQuality = 85;
