#include "driver/event_report.h"

#include <algorithm>

#include "driver/console_text.h"

namespace {

struct EventText {
    const char *console; // UTF-8; shown as "obj <id>: <console>"
    const char *caption; // UTF-8; drawn on the frame in GBK
};

// Indexed by event code - 1 (QV_EVENT_ENTER .. QV_EVENT_LEFT_OBJECT).
const EventText kEventTexts[] = {
    {"进入禁区", " 有目标闯入禁区 "},
    {"离开禁区", " 有目标离开禁区 "},
    {"单向越界", " 有目标单向越界 "},
    {"双向越界", " 有目标越界 "},
    {"徘徊", " 有目标在禁区内徘徊 "},
    {"丢包", " 丢包 "},
};
const int kEventCount = sizeof kEventTexts / sizeof kEventTexts[0];

} // namespace

std::string report_events(const qv_result &result, int region_count, std::FILE *out)
{
    // Never read past the records, whatever the counts claim.
    const int objects = std::clamp<int>(result.count, 0, QV_MAX_OBJECTS);
    const int regions = std::clamp(region_count, 0, QV_MAX_REGIONS);
    const EventText *last = nullptr;
    for (int i = 0; i < objects; ++i) {
        const qv_object &object = result.objects[i];
        for (int r = 0; r < regions; ++r) {
            const int32_t code = object.region_event[r];
            if (code < 1 || code > kEventCount)
                continue;
            const EventText &text = kEventTexts[code - 1];
            if (out != nullptr)
                std::fprintf(out, "obj %d: %s\n", static_cast<int>(object.id), console_text(text.console).c_str());
            last = &text;
        }
    }
    return last != nullptr ? utf8_to_gbk(last->caption) : std::string();
}
