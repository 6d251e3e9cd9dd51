#include "driver/event_line.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "driver/region_check.h"

std::string json_string(const std::string &text)
{
    std::string out = "\"";
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string without_password(const std::string &text)
{
    std::string out = text;
    for (size_t scheme = out.find("://"); scheme != std::string::npos; scheme = out.find("://", scheme + 3)) {
        const size_t start = scheme + 3;
        const size_t end = out.find_first_of("/ ", start);
        const size_t at = out.rfind('@', end == std::string::npos ? std::string::npos : end);
        if (at == std::string::npos || at < start)
            continue;
        const size_t colon = out.find(':', start);
        if (colon != std::string::npos && colon < at)
            out.replace(colon + 1, at - colon - 1, "***");
    }
    return out;
}

std::string event_json(const EventLine &e)
{
    const auto text_or_null = [](const std::string &s) { return s.empty() ? std::string("null") : json_string(s); };
    return "{\"time\": " + json_string(e.time) + ", \"video_ms\": " + std::to_string(e.video_ms) +
           ", \"frame\": " + std::to_string(e.frame) + ", \"id\": " + std::to_string(e.id) +
           ", \"region\": " + std::to_string(e.region) + ", \"region_name\": " + text_or_null(e.region_name) +
           ", \"kind\": " + json_string(region_kind_name(e.kind)) + ", \"event\": " + std::to_string(e.event) +
           ", \"direction\": " + (e.direction != nullptr ? json_string(e.direction) : std::string("null")) +
           ", \"box\": [" + std::to_string(e.box.x) + ", " + std::to_string(e.box.y) + ", " +
           std::to_string(e.box.width) + ", " + std::to_string(e.box.height) +
           "], \"snapshot\": " + text_or_null(e.snapshot) + "}";
}

std::string utc_now()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const long ms = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, ms);
    return text;
}

int64_t line_side(const qv_region &line, const qv_point &p)
{
    const int64_t dx = static_cast<int64_t>(line.points[1].x) - line.points[0].x;
    const int64_t dy = static_cast<int64_t>(line.points[1].y) - line.points[0].y;
    return dx * (static_cast<int64_t>(p.y) - line.points[0].y) - dy * (static_cast<int64_t>(p.x) - line.points[0].x);
}

qv_point reference_point(const qv_object &object)
{
    const int n = std::clamp<int>(object.track_length, 0, QV_MAX_TRACK);
    if (n > 0)
        return object.track[n - 1];
    return {object.box.x + object.box.width / 2, object.box.y + object.box.height};
}

const char *crossing_direction(const qv_region &line, const qv_object &object)
{
    int64_t side = line_side(line, reference_point(object));
    for (int i = std::clamp<int>(object.track_length, 0, QV_MAX_TRACK) - 2; side == 0 && i >= 0; --i)
        side = line_side(line, object.track[i]);
    if (side == 0)
        return nullptr;
    return side < 0 ? "positive_to_negative" : "negative_to_positive";
}
