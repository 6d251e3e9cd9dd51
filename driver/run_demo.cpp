#include "driver/run_demo.h"

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/imgproc.hpp>

#include "driver/alarm_caption.h"
#include "driver/alarm_outputs.h"
#include "driver/detector_settings.h"
#include "driver/mqtt_publisher.h"
#include "driver/console_text.h"
#include "driver/elapsed.h"
#include "driver/event_report.h"
#include "driver/exit_codes.h"
#include "driver/frame_log.h"
#include "driver/output_check.h"
#include "driver/region_check.h"
#include "driver/frame_pipeline.h"
#include "driver/jpeg_encoder.h"
#include "driver/stop_signal.h"
#include "driver/recording.h"
#include "driver/video_source.h"
#include "overlay/drawing.h"

namespace {

const char *kWindowName = "1channels";

// Each region's outline as points, made once: lines as segments, zones as closed polygons.
std::vector<std::vector<cv::Point>> region_outlines(const std::vector<qv_region> &regions)
{
    std::vector<std::vector<cv::Point>> outlines;
    for (const qv_region &region : regions) {
        const int n = std::max(0, std::min<int>(region.point_count, QV_MAX_REGION_POINTS));
        std::vector<cv::Point> points;
        for (int i = 0; i < n; ++i)
            points.emplace_back(region.points[i].x, region.points[i].y);
        outlines.push_back(std::move(points));
    }
    return outlines;
}

// Outlines every installed region in black.
void draw_regions(cv::Mat &colour_frame, const std::vector<std::vector<cv::Point>> &outlines)
{
    const cv::Scalar black(0, 0, 0, 0);
    for (const std::vector<cv::Point> &points : outlines) {
        if (points.size() == 2)
            cv::line(colour_frame, points[0], points[1], black, 1, cv::LINE_8, 0);
        else if (points.size() > 2)
            cv::polylines(colour_frame, points, true, black, 1, cv::LINE_8, 0);
    }
}

// The library has no release call: a detector lives until the process ends. Holding
// every handle here keeps it reachable, so leak checkers see it as held, not lost.
void keep_until_exit(void *handle)
{
    static auto *held = new std::vector<void *>();  // never destroyed, on purpose
    held->push_back(handle);
}

} // namespace

void quiet_video_backends()
{
    // A bad input gets our one-line message, not pages of decoder chatter.
    setenv("OPENCV_FFMPEG_LOGLEVEL", "-8", 0);
    if (std::getenv("OPENCV_LOG_LEVEL") == nullptr)
        cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
}

int run_demo(const RunOptions &options)
{
    // The region array stays at one address for the whole run: the detector keeps reading it.
    const std::vector<qv_region> regions = options.regions.empty() ? std::vector<qv_region>{default_region()}
                                                                   : options.regions;
    const int32_t region_count = static_cast<int32_t>(regions.size());
    const std::vector<std::vector<cv::Point>> outlines = region_outlines(regions);
    void *handle = nullptr;

    VideoSource capture;
    cv::Mat frame;
    const std::string open_error = capture.open_first(options.input, frame);
    if (!open_error.empty()) {
        std::fprintf(stderr, "qv_demo: %s\n", open_error.c_str());
        return kExitInput;
    }

    // Everything that can fail is checked before the first output file is touched.
    const std::string outside = check_regions_in_frame(regions, frame.size());
    if (!outside.empty()) {
        std::cout << console_text("区域设置有问题！！！") << std::endl;
        std::fprintf(stderr, "qv_demo: %s\n", outside.c_str());
        return kExitRegions;
    }
    AlarmOutputs alarm_outputs(options, regions);
    const double frame_rate = sane_frame_rate(capture.fps());
    Recording recording(options.output,
                        options.segment_minutes > 0.0 ? frames_per_segment(options.segment_minutes, frame_rate) : 0,
                        options.keep_segments);
    for (const std::string &error :
         {options.no_video ? std::string() : check_file_target(recording.first_path(), "output video", true),
          options.json_path.empty() ? std::string() : check_file_target(options.json_path, "JSON file", false),
          alarm_outputs.check()}) {
        if (!error.empty()) {
            std::fprintf(stderr, "qv_demo: %s\n", error.c_str());
            return kExitOutput;
        }
    }
    // The first frame only sets the size of the run's images.
    const cv::Size size = frame.size();
    frame.release();
    cv::Mat grey_frame(size, CV_8UC1);

    FrameLog frame_log;
    for (const std::string &error :
         {options.no_video ? std::string() : recording.open(size, frame_rate),
          options.json_path.empty() ? std::string() : frame_log.open(options.json_path), alarm_outputs.open()}) {
        if (!error.empty()) {
            std::fprintf(stderr, "qv_demo: %s\n", error.c_str());
            return kExitOutput;
        }
    }
    // Publishing goes through its own thread and queue: a broker that is slow or away never holds a frame up.
    MqttPublisher mqtt;
    if (!options.mqtt.host.empty()) {
        const std::string error = mqtt.start(options.mqtt);
        if (!error.empty())
            std::fprintf(stderr, "qv_demo: %s; events are not published\n", error.c_str());
        else {
            alarm_outputs.set_line_listener([&mqtt](const std::string &line) { mqtt.publish_event(line); });
            alarm_outputs.set_snapshot_listener([&mqtt](const std::vector<uint8_t> &jpeg) {
                mqtt.publish_snapshot(std::string(jpeg.begin(), jpeg.end()));
            });
        }
    }
    AlarmCaption caption(options.font_path);
    CaptionHold caption_hold(std::llround(options.caption_hold_s * frame_rate));

    int64_t total = 0;
    int32_t frames = 0;
    std::printf("width = %d height = %d\n", grey_frame.cols, grey_frame.rows);

    // One result record for the whole run; the detector overwrites what it reports.
    auto result = std::make_unique<qv_result>();
    int exit_code = kExitOk;
    // Decoding and writing run beside this loop; on every way out the pipeline
    // (destroyed before the recording) writes the frames handed to it, then stops.
    SourceWatch watch;
    watch.reconnect = options.reconnect;
    watch.listener = [&alarm_outputs, reconnecting = options.reconnect, size](const SourceChange &change) {
        // Standard error tells each wait; the event log (and MQTT) each loss and recovery.
        switch (change.kind) {
        case SourceChange::kLost:
            alarm_outputs.source_lost(change.reason, reconnecting);
            break;
        case SourceChange::kRetry:
            std::fprintf(stderr, "qv_demo: %s; reconnecting in %d s\n", change.reason.c_str(), change.delay_s);
            break;
        case SourceChange::kRecovered:
            std::fprintf(stderr, "qv_demo: input reconnected after %d tries (%.1f s without frames)\n", change.tries,
                         change.offline_s);
            alarm_outputs.source_recovered(change.tries, change.offline_s);
            break;
        case SourceChange::kResized:
            std::fprintf(stderr, "qv_demo: the input's frames are now %dx%d; %s\n", change.size.width,
                         change.size.height,
                         change.size == size ? "back to the run's size"
                                             : ("scaled to the run's " + std::to_string(size.width) + "x" +
                                                std::to_string(size.height) + ", the regions kept in place")
                                                   .c_str());
            break;
        }
    };
    FramePipeline pipeline(capture, options.no_video ? nullptr : &recording, size, capture.live(),
                           kOutputJpegQuality, std::move(watch));
    while (true) {
        if (const int signal_number = stop_requested()) {
            exit_code = kExitInterrupted + signal_number;
            break;
        }
        FrameSlot *slot = pipeline.next();
        if (slot == nullptr) {
            if (const int signal_number = stop_requested())
                exit_code = kExitInterrupted + signal_number;
            else if (pipeline.output_failed())
                exit_code = kExitOutput;  // the recording says why when it is closed
            else if (!pipeline.end_reason().empty()) {
                // A camera that went away is a failure, not the end of a file.
                std::fprintf(stderr, "qv_demo: %s\n", pipeline.end_reason().c_str());
                if (capture.live())
                    exit_code = kExitSourceLost;
            }
            break;
        }
        cv::Mat &colour_frame = slot->image();
        // RGB2GRAY on a BGR frame on purpose: the detector was tuned on grey made this way.
        cv::cvtColor(colour_frame, grey_frame, cv::COLOR_RGB2GRAY);

        if (frames == 0) {
            qv_init(&handle, demo_detector_config(grey_frame));
            if (handle == nullptr) {
                std::printf("model initial failed\n");
                return kExitModelInit;
            }
            keep_until_exit(handle);
            if (qv_init_region(handle, region_count, regions.data(), 0) == 0) {
                std::cout << console_text("区域设置有问题！！！") << std::endl;
                return kExitRegions;
            }
        }

        const int64_t t0 = counter_now();
        const qv_image view(grey_frame.cols, grey_frame.rows, grey_frame.channels(), grey_frame.data);
        qv_detect(handle, view, regions.data(), result.get());
        const int64_t t1 = counter_now();
        const int32_t detect_us = elapsed_us(t0, t1);
        total += detect_us;
        if (!options.quiet)
            std::printf("detect time:%" PRId32 " us\n", detect_us);

        draw_regions(colour_frame, outlines);
        draw_tracks(colour_frame.data, result->objects, result->count, colour_frame.cols, colour_frame.rows,
                    static_cast<int>(colour_frame.step));
        draw_boxes(colour_frame.data, result->objects, result->count, colour_frame.cols, colour_frame.rows,
                   static_cast<int>(colour_frame.step), region_count);
        const std::string caption_text = caption_hold.pick(frames, report_events(*result, region_count, stdout));
        if (!caption_text.empty())
            caption.draw(colour_frame, caption_text);
        alarm_outputs.on_frame(frames, slot->video_ms, *result, colour_frame);

        frame_log.write(frames, detect_us, *result, region_count);
        ++frames;
        if (options.show_window) {
            cv::imshow(kWindowName, colour_frame);
            cv::waitKey(1);
        }
        pipeline.finish(slot);  // the slot is the pipeline's again from here
        if (options.max_frames > 0 && frames >= options.max_frames)
            break;
    }
    const std::string pipeline_error = pipeline.close();

    const int64_t average = frames > 0 ? total / frames : 0;
    std::printf("aver time:%" PRId64 " us\n", average);
    std::fflush(stdout);
    if (pipeline.dropped() > 0)
        std::fprintf(stderr, "qv_demo: %" PRId64 " frames of %s were dropped because processing fell behind\n",
                     pipeline.dropped(), options.input.c_str());

    capture.release();
    for (const std::string &error :
         {pipeline_error, recording.close(), frame_log.close(), alarm_outputs.finish(frames, stdout)}) {
        if (error.empty())
            continue;
        std::fprintf(stderr, "qv_demo: %s\n", error.c_str());
        if (exit_code == kExitOk)
            exit_code = kExitOutput;
    }
    if (!options.mqtt.host.empty()) {
        const int64_t lost = mqtt.stop();
        if (lost > 0)
            std::fprintf(stderr, "qv_demo: %" PRId64 " MQTT messages were dropped or left unsent\n", lost);
    }
    return exit_code;
}
