#include "driver/frame_log.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

std::string frame_json(int64_t frame, int32_t detect_us, const qv_result &result, int region_count)
{
    // Counts come from the detector; never read past the records.
    const int count = std::clamp<int>(result.count, 0, QV_MAX_OBJECTS);
    const int regions = std::clamp(region_count, 0, QV_MAX_REGIONS);
    std::string line = "{\"frame\": " + std::to_string(frame) + ", \"detect_us\": " + std::to_string(detect_us) +
                       ", \"objects\": [";
    for (int i = 0; i < count; ++i) {
        const qv_object &o = result.objects[i];
        if (i > 0)
            line += ", ";
        line += "{\"id\": " + std::to_string(o.id) + ", \"box\": [" + std::to_string(o.box.x) + ", " +
                std::to_string(o.box.y) + ", " + std::to_string(o.box.width) + ", " +
                std::to_string(o.box.height) + "], \"track_length\": " + std::to_string(o.track_length) +
                ", \"flags\": [";
        for (int r = 0; r < regions; ++r)
            line += (r ? ", " : "") + std::to_string(o.region_flag[r]);
        line += "], \"events\": [";
        for (int r = 0; r < regions; ++r)
            line += (r ? ", " : "") + std::to_string(o.region_event[r]);
        line += "]}";
    }
    line += "]}";
    return line;
}

FrameLog::~FrameLog()
{
    close();
}

std::string FrameLog::open(const std::string &path)
{
    close();
    path_ = path;
    failed_ = false;
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr)
        return "cannot create JSON file " + path + ": " + std::strerror(errno);
    return {};
}

bool FrameLog::write(int64_t frame, int32_t detect_us, const qv_result &result, int region_count)
{
    if (file_ == nullptr || failed_)
        return false;
    const std::string line = frame_json(frame, detect_us, result, region_count) + "\n";
    if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0) {
        failed_ = true;
        error_ = std::strerror(errno);
    }
    return !failed_;
}

std::string FrameLog::close()
{
    if (file_ == nullptr)
        return {};
    if (std::fclose(file_) != 0 && !failed_) {
        failed_ = true;
        error_ = std::strerror(errno);
    }
    file_ = nullptr;
    if (failed_)
        return "cannot write JSON file " + path_ + ": " + error_;
    return {};
}
