#include "driver/frame_log.h"

#include <algorithm>

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

bool FrameLog::write(int64_t frame, int32_t detect_us, const qv_result &result, int region_count)
{
    return file_.is_open() && file_.write_line(frame_json(frame, detect_us, result, region_count));
}
