#include "driver/frame_pipeline.h"

#include <chrono>
#include <exception>
#include <utility>

#include <opencv2/imgproc.hpp>

#include "driver/error_text.h"
#include "driver/jpeg_encoder.h"
#include "driver/jpeg_sink.h"
#include "driver/reconnect_backoff.h"
#include "driver/stop_signal.h"
#include "driver/video_source.h"

namespace {

// Two frames waiting on each side keep every thread busy; more would only add
// memory and, for a live source, delay.
constexpr size_t kDecodedWaiting = 2;
constexpr size_t kFinishedWaiting = 2;

// How often a caller waiting for a frame looks for a stop signal.
constexpr std::chrono::milliseconds kStopPoll(50);

} // namespace

void SlotRing::push(FrameSlot *slot)
{
    items_[(head_ + count_) % items_.size()] = slot;
    ++count_;
}

FrameSlot *SlotRing::pop()
{
    FrameSlot *slot = items_[head_];
    head_ = (head_ + 1) % items_.size();
    --count_;
    return slot;
}

FramePipeline::FramePipeline(VideoSource &source, JpegSink *output, cv::Size size, bool live, int jpeg_quality,
                             SourceWatch watch, int encoders)
    : source_(source), output_(output), size_(size), live_(live), jpeg_quality_(jpeg_quality),
      watch_(std::move(watch)),
      // Enough slots that every stage can hold one while both queues are full,
      // so a live source's decoder always has a slot to decode into.
      slots_(kDecodedWaiting + kFinishedWaiting + 2 + static_cast<size_t>(std::max(1, encoders))),
      free_(slots_.size()), decoded_(kDecodedWaiting), finished_(kFinishedWaiting)
{
    for (FrameSlot &slot : slots_)
        free_.push(&slot);
    decoder_ = std::thread([this] { decode_loop(); });
    for (int i = 0; output_ != nullptr && i < std::max(1, encoders); ++i)
        encoders_.emplace_back([this] { encode_loop(); });
}

FramePipeline::~FramePipeline()
{
    close();
}

FrameSlot *FramePipeline::take_free_slot(std::unique_lock<std::mutex> &lock)
{
    changed_.wait(lock, [this] { return !free_.empty() || stopping_ || (live_ && !decoded_.empty()); });
    if (stopping_)
        return nullptr;
    if (!free_.empty())
        return free_.pop();
    ++dropped_;  // live: the oldest frame waiting makes room
    return decoded_.pop();
}

void FramePipeline::tell(const SourceChange &change)
{
    if (watch_.listener)
        watch_.listener(change);
}

bool FramePipeline::reconnect(cv::Mat &frame)
{
    std::string why = source_.end_reason();
    const auto lost_at = std::chrono::steady_clock::now();
    for (int attempt = 0;; ++attempt) {
        SourceChange retry;
        retry.kind = SourceChange::kRetry;
        retry.reason = why;
        retry.delay_s = reconnect_delay_s(attempt);
        tell(retry);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(retry.delay_s);
        {
            std::unique_lock<std::mutex> lock(mutex_);
            while (std::chrono::steady_clock::now() < until) {
                if (stopping_ || stop_requested())
                    return false;
                changed_.wait_for(lock, kStopPoll);
            }
        }
        // Back means frames again: a camera that takes the connection but sends nothing
        // is waited for longer each time, like one that refuses it.
        why = source_.reopen();
        if (why.empty() && source_.read(frame)) {
            SourceChange back;
            back.kind = SourceChange::kRecovered;
            back.tries = attempt + 1;
            back.offline_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - lost_at).count();
            tell(back);
            return true;
        }
        if (stopped())
            return false;
        if (why.empty())
            why = source_.end_reason();
    }
}

void FramePipeline::decode_loop()
{
    std::string reason;
    cv::Size source_size = size_;
    try {
        while (true) {
            FrameSlot *slot = nullptr;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                slot = take_free_slot(lock);
            }
            if (slot == nullptr)
                break;
            bool got = source_.read(slot->decoded);
            if (!got && live_ && !stopped()) {
                // A live source gone mid-run, not one we let go of because the run is stopping.
                SourceChange lost;
                lost.reason = source_.end_reason();
                tell(lost);
                got = watch_.reconnect && reconnect(slot->decoded);
            }
            if (!got) {
                reason = source_.end_reason();
                std::lock_guard<std::mutex> lock(mutex_);
                free_.push(slot);
                break;
            }
            slot->video_ms = source_.position_ms();
            // Frames that change size mid-stream are scaled to the first frame's size;
            // frames of that size are used as decoded, without a copy.
            slot->use_scaled = slot->decoded.size() != size_;
            if (slot->decoded.size() != source_size) {
                source_size = slot->decoded.size();
                SourceChange resized;
                resized.kind = SourceChange::kResized;
                resized.size = source_size;
                tell(resized);
            }
            if (slot->use_scaled)
                cv::resize(slot->decoded, slot->scaled, size_, 0, 0, cv::INTER_LINEAR);

            std::unique_lock<std::mutex> lock(mutex_);
            if (live_ && decoded_.full()) {
                free_.push(decoded_.pop());  // a live source does not wait for us
                ++dropped_;
            }
            changed_.wait(lock, [this] { return !decoded_.full() || stopping_; });
            if (stopping_) {
                free_.push(slot);
                break;
            }
            decoded_.push(slot);
            changed_.notify_all();
        }
    } catch (const std::exception &e) {
        reason = "decoding stopped: " + one_line(e.what());
    }
    std::lock_guard<std::mutex> lock(mutex_);
    input_ended_ = true;
    end_reason_ = reason;
    changed_.notify_all();
}

bool FramePipeline::stopped() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return stopping_ || stop_requested();
}

FrameSlot *FramePipeline::next()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (decoded_.empty() && !input_ended_ && !output_failed_) {
        if (stop_requested())
            return nullptr;
        changed_.wait_for(lock, kStopPoll);
    }
    if (decoded_.empty() || output_failed_)
        return nullptr;
    FrameSlot *slot = decoded_.pop();
    changed_.notify_all();
    return slot;
}

void FramePipeline::finish(FrameSlot *slot)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (output_ == nullptr) {  // no video: the frame goes straight back
        free_.push(slot);
        changed_.notify_all();
        return;
    }
    changed_.wait(lock, [this] { return !finished_.full(); });
    slot->sequence = next_sequence_++;
    finished_.push(slot);
    changed_.notify_all();
}

void FramePipeline::encode_loop()
{
    JpegEncoder encoder(jpeg_quality_);
    while (true) {
        FrameSlot *slot = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return !finished_.empty() || closing_; });
            if (finished_.empty())
                return;
            slot = finished_.pop();
            changed_.notify_all();
        }
        bool encoded = false;
        try {
            encoded = encoder.encode(slot->image());
        } catch (const std::exception &) {
            encoded = false;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        // Pictures are compressed side by side but written strictly in order; only
        // the encoder whose turn it is touches the output, so it writes unlocked.
        changed_.wait(lock, [&] { return next_to_write_ == slot->sequence; });
        lock.unlock();
        if (encoded)
            output_->write_jpeg(encoder.data(), encoder.size());
        const bool output_failed = output_->failed();
        lock.lock();
        output_failed_ = output_failed_ || output_failed;
        if (!encoded && error_.empty())
            error_ = "a frame could not be compressed for the output video";
        ++next_to_write_;
        free_.push(slot);
        changed_.notify_all();
    }
}

std::string FramePipeline::close()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        closing_ = true;
        changed_.notify_all();
    }
    if (decoder_.joinable()) {
        source_.abandon();
        decoder_.join();
    }
    for (std::thread &encoder : encoders_)
        if (encoder.joinable())
            encoder.join();
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

std::string FramePipeline::end_reason() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return end_reason_;
}

bool FramePipeline::output_failed() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return output_failed_;
}

int64_t FramePipeline::dropped() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}
