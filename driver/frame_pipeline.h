#pragma once
#include <functional>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>

class VideoSource;
class JpegSink;

// One frame on its way through the run. Slots are made once and reused.
struct FrameSlot {
    cv::Mat decoded;          // as the source delivered it
    cv::Mat scaled;           // the run's size, when the source's size differs
    bool use_scaled = false;
    int64_t sequence = 0;     // order of writing
    int64_t video_ms = 0;     // where the frame lies in the source

    // The working colour image: everything is drawn on it, it is shown and written.
    cv::Mat &image() { return use_scaled ? scaled : decoded; }
};

// What the decoder tells about a live source that goes away and comes back.
struct SourceChange {
    enum Kind { kLost, kRetry, kRecovered, kResized } kind = kLost;
    std::string reason;      // kLost, kRetry: why the source is gone
    int delay_s = 0;         // kRetry: the wait before the next try
    int tries = 0;           // kRecovered: opens it took
    double offline_s = 0.0;  // kRecovered: from the loss until its first frame again
    cv::Size size;           // kResized: the size frames now come in (they are scaled to the run's)
};

// A fixed-capacity first-in first-out list of slots (no allocation after construction).
class SlotRing {
public:
    explicit SlotRing(size_t capacity) : items_(capacity) {}
    bool empty() const { return count_ == 0; }
    bool full() const { return count_ == items_.size(); }
    size_t size() const { return count_; }
    void push(FrameSlot *slot);
    FrameSlot *pop();

private:
    std::vector<FrameSlot *> items_;
    size_t head_ = 0;
    size_t count_ = 0;
};

// What the decoder does when a live source goes away: every loss (not a stop) is told to
// listener, from the decoder's thread; with reconnect the source is then opened again with
// backoff (reconnect_delay_s) until it comes back or the run is stopped, each wait and the
// recovery told too.
struct SourceWatch {
    std::function<void(const SourceChange &)> listener;
    bool reconnect = false;
};

// Decoding, and compressing+writing, on threads of their own around the caller's
// per-frame work: a decoder thread fills a small queue of frames at the run's
// size; the caller takes them in order with next(), works on them and hands them
// on with finish(); encoder threads compress them and write them to the output in
// that order. Memory is bounded by a fixed set of slots. A live source whose
// frames come faster than they are taken loses the oldest frame waiting (counted
// in dropped()); a file never loses one: its decoder waits. Without an output
// (nullptr: a run with no video) finished frames are not compressed at all.
class FramePipeline {
public:
    FramePipeline(VideoSource &source, JpegSink *output, cv::Size size, bool live, int jpeg_quality,
                  SourceWatch watch = {}, int encoders = 2);
    ~FramePipeline();
    FramePipeline(const FramePipeline &) = delete;
    FramePipeline &operator=(const FramePipeline &) = delete;

    // The next decoded frame, or nullptr once the input has ended, the output
    // failed, or a stop signal arrived while waiting.
    FrameSlot *next();

    // Hands the frame from next() on to be compressed and written after the ones before it.
    void finish(FrameSlot *slot);

    // Stops decoding, writes every finished frame and joins the threads. Returns
    // "" or why frames could not be compressed. Called by the destructor too.
    std::string close();

    // Why the input ended early ("" for the end of a file), once next() returned nullptr.
    std::string end_reason() const;
    int64_t dropped() const;

    // True once the output refused a picture (a full disk): no more frames are handed out.
    bool output_failed() const;

private:
    void decode_loop();
    bool reconnect(cv::Mat &frame);  // true once the source is open again and gave frame
    void tell(const SourceChange &change);
    bool stopped() const;  // the run is stopping or a stop signal came
    void encode_loop();
    FrameSlot *take_free_slot(std::unique_lock<std::mutex> &lock);

    VideoSource &source_;
    JpegSink *const output_;
    const cv::Size size_;
    const bool live_;
    const int jpeg_quality_;
    const SourceWatch watch_;  // fixed before the decoder starts, so read without the lock

    std::vector<FrameSlot> slots_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;  // any queue, flag or turn changed
    SlotRing free_;
    SlotRing decoded_;
    SlotRing finished_;
    bool input_ended_ = false;
    bool stopping_ = false;  // decoder: stop reading
    bool closing_ = false;   // encoders: leave once nothing is left
    bool output_failed_ = false;
    int64_t next_sequence_ = 0;
    int64_t next_to_write_ = 0;
    int64_t dropped_ = 0;
    std::string end_reason_;
    std::string error_;

    std::thread decoder_;
    std::vector<std::thread> encoders_;
};
