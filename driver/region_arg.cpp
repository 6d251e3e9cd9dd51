#include "driver/region_arg.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Reads one decimal int32 from the whole of text.
bool parse_int(const std::string &text, int32_t &value)
{
    if (text.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size() || v < INT32_MIN || v > INT32_MAX)
        return false;
    value = static_cast<int32_t>(v);
    return true;
}

std::vector<std::string> split(const std::string &text, char sep)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(sep, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return parts;
        start = at + 1;
    }
}

} // namespace

std::string parse_region_arg(const std::string &arg, qv_region &region)
{
    std::memset(&region, 0, sizeof region);
    const size_t colon = arg.find(':');
    if (colon == std::string::npos)
        return "expected KIND:X1,Y1,X2,Y2[,...]";
    int32_t kind = 0;
    if (!parse_int(arg.substr(0, colon), kind))
        return "kind is not an integer";
    const std::vector<std::string> fields = split(arg.substr(colon + 1), ',');
    if (fields.size() % 2 != 0)
        return "coordinates must come in X,Y pairs";
    const size_t points = fields.size() / 2;
    if (points < 1 || points > QV_MAX_REGION_POINTS)
        return "a region has 1 to 10 points";
    for (size_t i = 0; i < points; ++i) {
        if (!parse_int(fields[2 * i], region.points[i].x) || !parse_int(fields[2 * i + 1], region.points[i].y))
            return "coordinate " + std::to_string(i + 1) + " is not an integer pair";
    }
    region.kind = kind;
    region.point_count = static_cast<int32_t>(points);
    return {};
}
