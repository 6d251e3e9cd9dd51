#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "detector/quorvane.h"
#include "driver/counters.h"
#include "driver/line_file.h"
#include "driver/run_options.h"
#include "driver/snapshots.h"

// What a run leaves about its alarms besides the video: the event log, the
// snapshots, and the counts (drawn on the frame with --counters, printed at
// the end, and the event log's last line).
class AlarmOutputs {
public:
    AlarmOutputs(const RunOptions &options, const std::vector<qv_region> &regions);

    // Checks, touching nothing, that the event log and the snapshot folder can
    // be written. Returns "" or one line naming the path.
    std::string check() const;

    // Creates the event log and the snapshot folder. Returns "" or why not.
    std::string open();

    // Called with each processed frame once its overlay and caption are drawn,
    // before it is written: counts, draws the counts if asked, saves the
    // snapshot and writes the event lines.
    void on_frame(int64_t frame, int64_t video_ms, const qv_result &result, cv::Mat &drawn_frame);

    // Also hands every event line (and the final counts line) to listener.
    void set_line_listener(std::function<void(const std::string &)> listener) { listener_ = std::move(listener); }

    // Also hands the JPEG bytes of every snapshot to listener, after the frame's event lines.
    void set_snapshot_listener(std::function<void(const std::vector<uint8_t> &)> listener)
    {
        snapshot_listener_ = std::move(listener);
    }

    // A live source went away (reconnecting: it is being opened again) or came back
    // after tries opens and offline_s seconds. Lines of their own; callable from any thread.
    void source_lost(const std::string &reason, bool reconnecting);
    void source_recovered(int tries, double offline_s);

    // Prints the counts to out, writes them as the event log's last line and
    // closes it. Returns "" or why some of the log or snapshots are missing.
    std::string finish(int64_t frames, std::FILE *out);

    const Counters &counters() const { return counters_; }

private:
    void emit(const std::string &line);

    std::vector<qv_region> regions_;
    std::vector<std::string> names_;
    std::string events_path_;
    std::string snapshots_dir_;
    bool draw_counters_ = false;
    Counters counters_;
    LineFile events_{"event log"};
    Snapshots snapshots_;
    std::function<void(const std::string &)> listener_;
    std::function<void(const std::vector<uint8_t> &)> snapshot_listener_;
    std::mutex emit_mutex_;  // source lines come from the decoder's thread
};
