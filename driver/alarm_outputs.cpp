#include "driver/alarm_outputs.h"

#include <algorithm>
#include <cstdio>

#include "driver/event_line.h"
#include "driver/output_check.h"
#include "driver/region_check.h"
#include "overlay/region_marks.h"

AlarmOutputs::AlarmOutputs(const RunOptions &options, const std::vector<qv_region> &regions)
    : regions_(regions), names_(options.region_names), events_path_(options.events_path),
      snapshots_dir_(options.snapshots_dir), draw_counters_(options.draw_counters), counters_(regions)
{
    names_.resize(regions_.size());
}

std::string AlarmOutputs::check() const
{
    if (!events_path_.empty()) {
        const std::string error = check_file_target(events_path_, "event log", false);
        if (!error.empty())
            return error;
    }
    if (!snapshots_dir_.empty())
        return check_folder_target(snapshots_dir_, "snapshot folder");
    return {};
}

std::string AlarmOutputs::open()
{
    if (!events_path_.empty()) {
        const std::string error = events_.open(events_path_);
        if (!error.empty())
            return error;
    }
    if (!snapshots_dir_.empty())
        return snapshots_.open(snapshots_dir_);
    return {};
}

void AlarmOutputs::emit(const std::string &line)
{
    std::lock_guard<std::mutex> lock(emit_mutex_);
    events_.write_line(line);
    if (listener_)
        listener_(line);
}

void AlarmOutputs::on_frame(int64_t frame, int64_t video_ms, const qv_result &result, cv::Mat &drawn_frame)
{
    counters_.update(result);
    if (draw_counters_)
        for (size_t r = 0; r < regions_.size(); ++r)
            draw_label(drawn_frame, std::to_string(r + 1) + ": " + counters_.label(r),
                       region_label_anchor(regions_[r]));

    const int objects = std::clamp<int>(result.count, 0, QV_MAX_OBJECTS);
    const int regions = std::min<int>(static_cast<int>(regions_.size()), QV_MAX_REGIONS);
    std::vector<EventLine> lines;
    for (int i = 0; i < objects; ++i) {
        const qv_object &object = result.objects[i];
        for (int r = 0; r < regions; ++r) {
            const int32_t code = object.region_event[r];
            if (code < QV_EVENT_ENTER || code > QV_EVENT_LEFT_OBJECT)
                continue;
            EventLine line;
            line.video_ms = video_ms;
            line.frame = frame;
            line.id = object.id;
            line.region = r + 1;
            line.region_name = names_[r];
            line.kind = regions_[r].kind;
            line.event = code;
            line.direction = is_line_kind(regions_[r].kind) ? crossing_direction(regions_[r], object) : nullptr;
            line.box = object.box;
            lines.push_back(line);
        }
    }
    if (lines.empty())
        return;
    const std::string snapshot = snapshots_.save(frame, drawn_frame);
    const std::string now = utc_now();
    for (EventLine &line : lines) {
        line.time = now;
        line.snapshot = snapshot;
        emit(event_json(line));
    }
    if (snapshot_listener_ && !snapshots_.last_picture().empty())
        snapshot_listener_(snapshots_.last_picture());
}

void AlarmOutputs::source_lost(const std::string &reason, bool reconnecting)
{
    emit("{\"time\": " + json_string(utc_now()) + ", \"event\": \"source_lost\", \"reason\": " +
         json_string(without_password(reason)) + ", \"reconnecting\": " + (reconnecting ? "true" : "false") + "}");
}

void AlarmOutputs::source_recovered(int tries, double offline_s)
{
    char offline[32];
    std::snprintf(offline, sizeof offline, "%.1f", offline_s);
    emit("{\"time\": " + json_string(utc_now()) + ", \"event\": \"source_recovered\", \"tries\": " +
         std::to_string(tries) + ", \"offline_s\": " + offline + "}");
}

std::string AlarmOutputs::finish(int64_t frames, std::FILE *out)
{
    if (out != nullptr) {
        for (size_t r = 0; r < regions_.size(); ++r)
            std::fprintf(out, "%s\n", counters_.summary(r, names_[r]).c_str());
        std::fflush(out);
    }
    if (events_.is_open() || listener_)
        emit(counters_.json(names_, frames));
    const std::string log_error = events_.close();
    return log_error.empty() ? snapshots_.error() : log_error;
}
