#include "driver/video_output.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <opencv2/videoio.hpp>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

namespace {

std::string av_message(int av_error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(av_error, text, sizeof text);
    return text;
}

// What finishing a file needs besides the pictures: the index (16 bytes a frame,
// and the large-file index of 8 more), the muxer's unflushed buffer, and slack.
constexpr uint64_t kIndexBytesPerFrame = 32;
constexpr uint64_t kTrailerSlack = 256 * 1024;
// Past this much free space the free space is looked up only every kFramesBetweenChecks frames.
constexpr uint64_t kPlentyOfRoom = 256ull * 1024 * 1024;
constexpr int kFramesBetweenChecks = 100;

// The muxer may keep a reference to a packet's data; ours stays valid until
// the call returns, and the buffer is the caller's, so freeing it is a no-op.
void keep_buffer(void *, uint8_t *) {}

} // namespace

VideoOutput::VideoOutput() = default;

VideoOutput::~VideoOutput()
{
    close();
}

std::string VideoOutput::open(const std::string &path, cv::Size size, double fps)
{
    close();
    path_ = path;
    size_ = size;
    frames_ = 0;
    known_free_ = 0;
    unchecked_frames_ = 0;
    error_.clear();
    // A device such as /dev/full would swallow the run; only regular files are written.
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return "cannot create output video " + path + ": not a regular file";
    if (avformat_alloc_output_context2(&context_, nullptr, "avi", path.c_str()) < 0 || context_ == nullptr)
        return "cannot create output video " + path;
    AVStream *stream = avformat_new_stream(context_, nullptr);
    packet_ = av_packet_alloc();
    if (stream == nullptr || packet_ == nullptr) {
        close();
        return "cannot create output video " + path + ": out of memory";
    }
    stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    stream->codecpar->codec_id = AV_CODEC_ID_MJPEG;
    stream->codecpar->codec_tag = MKTAG('M', 'J', 'P', 'G');
    stream->codecpar->width = size.width;
    stream->codecpar->height = size.height;
    stream->codecpar->format = AV_PIX_FMT_YUVJ420P;
    stream->codecpar->bits_per_coded_sample = 24;
    stream->time_base = av_inv_q(av_d2q(fps > 0.0 ? fps : 30.0, 1001000));
    stream->avg_frame_rate = av_inv_q(stream->time_base);
    stream->r_frame_rate = stream->avg_frame_rate;
    int status = avio_open(&context_->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (status < 0) {
        const std::string reason = av_message(status);
        close();
        return "cannot create output video " + path + ": " + reason;
    }
    status = avformat_write_header(context_, nullptr);
    if (status < 0) {
        const std::string reason = av_message(status);
        close();
        return "cannot create output video " + path + ": " + reason;
    }
    header_written_ = true;
    return {};
}

void VideoOutput::write(const cv::Mat &frame)
{
    if (frame.size() != size_ || frame.type() != CV_8UC3) {
        if (error_.empty())
            error_ = "output video " + path_ + ": a frame of another size or type was refused";
        return;
    }
    if (!encoder_)
        encoder_ = std::make_unique<JpegEncoder>(kOutputJpegQuality);
    if (!encoder_->encode(frame)) {
        if (error_.empty())
            error_ = "output video " + path_ + ": a frame could not be compressed";
        return;
    }
    write_jpeg(encoder_->data(), encoder_->size());
}

void VideoOutput::write_jpeg(const uint8_t *data, size_t size)
{
    if (context_ == nullptr || !error_.empty())
        return;
    if (!room_for(size))
        return;
    const AVStream *stream = context_->streams[0];
    packet_->buf = av_buffer_create(const_cast<uint8_t *>(data), static_cast<int>(size), keep_buffer, nullptr, 0);
    packet_->data = const_cast<uint8_t *>(data);
    packet_->size = static_cast<int>(size);
    packet_->stream_index = stream->index;
    packet_->pts = packet_->dts = frames_;
    packet_->duration = 1;
    packet_->flags = AV_PKT_FLAG_KEY;
    // Packet times are counted in frames; the muxer wants its stream's time base.
    av_packet_rescale_ts(packet_, av_inv_q(stream->avg_frame_rate), stream->time_base);
    const int status = av_write_frame(context_, packet_);
    av_packet_unref(packet_);
    if (status < 0) {
        fail("cannot write", status);
        return;
    }
    if (context_->pb->error < 0) {
        fail("cannot write", context_->pb->error);
        return;
    }
    ++frames_;
}

bool VideoOutput::room_for(size_t picture_size)
{
    // A file cut off by a full disk has no index and a header that counts no frames; stopping
    // while the index still fits leaves every frame written so far playable.
    const uint64_t needed = 2 * static_cast<uint64_t>(picture_size) +
                            kIndexBytesPerFrame * (static_cast<uint64_t>(frames_) + 1) + kTrailerSlack;
    // With plenty of room the disk is asked only now and then (on a network disk each asking
    // is a round trip), counting down what we wrote in between.
    if (unchecked_frames_ < kFramesBetweenChecks && known_free_ >= needed + kPlentyOfRoom) {
        ++unchecked_frames_;
        known_free_ -= picture_size;
        return true;
    }
    struct statvfs disk;
    if (statvfs(path_.c_str(), &disk) != 0)
        return true;  // cannot tell: let the write itself report
    const uint64_t free_bytes = static_cast<uint64_t>(disk.f_bavail) * disk.f_frsize;
    known_free_ = free_bytes;
    unchecked_frames_ = 0;
    if (free_bytes >= needed)
        return true;
    if (error_.empty())
        error_ = "output video " + path_ + ": disk full (" + std::to_string(free_bytes / 1024) +
                 " KiB left); recording stopped after " + std::to_string(frames_) + " frames";
    return false;
}

void VideoOutput::fail(const std::string &what, int av_error)
{
    if (error_.empty())
        error_ = "output video " + path_ + ": " + what + " (" + av_message(av_error) + ")";
}

std::string VideoOutput::close()
{
    if (context_ == nullptr)
        return {};
    std::string error = error_;
    if (context_->pb != nullptr) {
        const int status = header_written_ ? av_write_trailer(context_) : 0;
        if (status < 0 && error.empty())
            error = "output video " + path_ + ": cannot finish the file (" + av_message(status) + ")";
        if (avio_closep(&context_->pb) < 0 && error.empty())
            error = "output video " + path_ + ": cannot close the file";
    }
    avformat_free_context(context_);
    context_ = nullptr;
    header_written_ = false;
    av_packet_free(&packet_);
    if (!error.empty() || frames_ == 0)
        return error;
    // A full disk can slip past buffered writes; the finished file tells.
    cv::VideoCapture check(path_, cv::CAP_FFMPEG);
    const double stored = check.isOpened() ? check.get(cv::CAP_PROP_FRAME_COUNT) : 0.0;
    if (static_cast<int>(stored) != frames_)
        return "output video " + path_ + " holds " + std::to_string(static_cast<int>(stored)) + " of " +
               std::to_string(frames_) + " frames (disk full?)";
    return {};
}
