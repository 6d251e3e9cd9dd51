#include "driver/counters.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

#include "driver/event_line.h"
#include "driver/region_check.h"

namespace {

bool inside_polygon(const qv_region &zone, const qv_point &p)
{
    std::vector<cv::Point> polygon;
    for (int i = 0; i < std::clamp<int>(zone.point_count, 0, QV_MAX_REGION_POINTS); ++i)
        polygon.emplace_back(zone.points[i].x, zone.points[i].y);
    return cv::pointPolygonTest(polygon, cv::Point2f(static_cast<float>(p.x), static_cast<float>(p.y)), false) > 0;
}

std::string ids_text(const std::vector<int32_t> &ids, const char *separator)
{
    std::string text;
    for (size_t i = 0; i < ids.size(); ++i)
        text += (i ? separator : "") + std::to_string(ids[i]);
    return text;
}

} // namespace

Counters::Counters(std::vector<qv_region> regions)
    : regions_(std::move(regions)), counts_(regions_.size()), was_inside_(regions_.size())
{
}

void Counters::update(const qv_result &result)
{
    const int objects = std::clamp<int>(result.count, 0, QV_MAX_OBJECTS);
    for (size_t r = 0; r < regions_.size() && r < QV_MAX_REGIONS; ++r) {
        const qv_region &region = regions_[r];
        RegionCount &count = counts_[r];
        if (is_line_kind(region.kind)) {
            for (int i = 0; i < objects; ++i) {
                const int32_t event = result.objects[i].region_event[r];
                if (event != QV_EVENT_CROSS_ONE_WAY && event != QV_EVENT_CROSS_TWO_WAY)
                    continue;
                const char *direction = crossing_direction(region, result.objects[i]);
                if (direction == nullptr)
                    continue;
                ++(direction[0] == 'p' ? count.positive_to_negative : count.negative_to_positive);
            }
            continue;
        }
        count.inside.clear();
        std::map<int32_t, bool> now;
        for (int i = 0; i < objects; ++i) {
            const qv_object &object = result.objects[i];
            bool in = false;
            if (region.kind == QV_REGION_ZONE) {
                in = object.region_flag[r] != 0 && object.region_event[r] != QV_EVENT_LEAVE;
                count.entries += object.region_event[r] == QV_EVENT_ENTER;
            } else {
                in = inside_polygon(region, reference_point(object));
                const auto before = was_inside_[r].find(object.id);
                count.entries += in && before != was_inside_[r].end() && !before->second;
                now[object.id] = in;
            }
            if (in)
                count.inside.push_back(object.id);
        }
        // Objects that are gone are forgotten: ids are never reused.
        was_inside_[r] = std::move(now);
        std::sort(count.inside.begin(), count.inside.end());
    }
}

std::string Counters::label(size_t r) const
{
    const RegionCount &c = counts_.at(r);
    if (is_line_kind(regions_.at(r).kind))
        return "+ to - " + std::to_string(c.positive_to_negative) + "   - to + " + std::to_string(c.negative_to_positive);
    return "in " + std::to_string(c.entries) + "  now " + std::to_string(c.inside.size());
}

std::string Counters::summary(size_t r, const std::string &name) const
{
    const RegionCount &c = counts_.at(r);
    std::string line = "counts: region " + std::to_string(r + 1) + (name.empty() ? "" : " " + name) + " (" +
                       region_kind_name(regions_.at(r).kind) + "): ";
    if (is_line_kind(regions_.at(r).kind))
        return line + std::to_string(c.positive_to_negative) + " positive_to_negative, " +
               std::to_string(c.negative_to_positive) + " negative_to_positive";
    return line + std::to_string(c.entries) + " entries, " + std::to_string(c.inside.size()) + " inside now" +
           (c.inside.empty() ? "" : " (ids " + ids_text(c.inside, " ") + ")");
}

std::string Counters::json(const std::vector<std::string> &names, int64_t frames) const
{
    std::string text = "{\"time\": " + json_string(utc_now()) + ", \"frames\": " + std::to_string(frames) +
                       ", \"counters\": [";
    for (size_t r = 0; r < regions_.size(); ++r) {
        const RegionCount &c = counts_[r];
        const std::string name = r < names.size() ? names[r] : std::string();
        text += (r ? ", " : "") + std::string("{\"region\": ") + std::to_string(r + 1) +
                ", \"region_name\": " + (name.empty() ? std::string("null") : json_string(name)) +
                ", \"kind\": " + json_string(region_kind_name(regions_[r].kind));
        if (is_line_kind(regions_[r].kind))
            text += ", \"positive_to_negative\": " + std::to_string(c.positive_to_negative) +
                    ", \"negative_to_positive\": " + std::to_string(c.negative_to_positive) + "}";
        else
            text += ", \"entries\": " + std::to_string(c.entries) + ", \"inside\": [" + ids_text(c.inside, ", ") +
                    "]}";
    }
    return text + "]}";
}
