#include "driver/region_check.h"

#include <algorithm>
#include <cstdint>

namespace {

struct P {
    int64_t x, y;
};

P at(const qv_point &p)
{
    return {p.x, p.y};
}

// Sign of the turn a -> b -> c: >0 left, <0 right, 0 collinear. Exact in 64 bits for int32 input.
int orientation(P a, P b, P c)
{
    // Differences of int32 values take 33 bits, their products 66: 128-bit arithmetic stays exact.
    const __int128 v = static_cast<__int128>(b.x - a.x) * (c.y - a.y) - static_cast<__int128>(b.y - a.y) * (c.x - a.x);
    return v > 0 ? 1 : v < 0 ? -1 : 0;
}

bool on_segment(P a, P b, P p)
{
    return std::min(a.x, b.x) <= p.x && p.x <= std::max(a.x, b.x) && std::min(a.y, b.y) <= p.y &&
           p.y <= std::max(a.y, b.y);
}

// Whether the closed segments ab and cd share any point.
bool segments_meet(P a, P b, P c, P d)
{
    const int o1 = orientation(a, b, c), o2 = orientation(a, b, d);
    const int o3 = orientation(c, d, a), o4 = orientation(c, d, b);
    if (o1 != o2 && o3 != o4)
        return true;
    return (o1 == 0 && on_segment(a, b, c)) || (o2 == 0 && on_segment(a, b, d)) ||
           (o3 == 0 && on_segment(c, d, a)) || (o4 == 0 && on_segment(c, d, b));
}

std::string point_text(int index, const qv_point &p)
{
    return "point " + std::to_string(index + 1) + " (" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
}

// Edges that cross, touch away from their shared corner, or fold back onto each other.
std::string polygon_crossing(const std::vector<P> &poly)
{
    const size_t n = poly.size();
    for (size_t i = 0; i < n; ++i) {
        const P a = poly[i], b = poly[(i + 1) % n];
        // Neighbouring edges share a corner; they may only meet there, so no fold-back along one line.
        const P c = poly[(i + 2) % n];
        if (orientation(a, b, c) == 0 && static_cast<__int128>(c.x - b.x) * (a.x - b.x) + static_cast<__int128>(c.y - b.y) * (a.y - b.y) > 0)
            return "its outline folds back on itself at corner " + std::to_string((i + 1) % n + 1);
        for (size_t j = i + 2; j < n; ++j) {
            if (i == 0 && j == n - 1)
                continue;  // neighbours through the closing edge
            if (segments_meet(a, b, poly[j], poly[(j + 1) % n]))
                return "its edges " + std::to_string(i + 1) + " and " + std::to_string(j + 1) + " cross";
        }
    }
    return {};
}

} // namespace

bool is_line_kind(int32_t kind)
{
    return kind == QV_REGION_LINE_ONE_WAY || kind == QV_REGION_LINE_TWO_WAY;
}

const char *region_kind_name(int32_t kind)
{
    switch (kind) {
    case QV_REGION_ZONE:
        return "zone";
    case QV_REGION_LINE_ONE_WAY:
        return "one_way_line";
    case QV_REGION_LINE_TWO_WAY:
        return "two_way_line";
    case QV_REGION_LOITER:
        return "loiter_zone";
    case QV_REGION_LEFT_OBJECT:
        return "left_object_zone";
    default:
        return "unknown";
    }
}

std::string check_region_shape(const qv_region &region)
{
    if (region.kind < QV_REGION_ZONE || region.kind > QV_REGION_LEFT_OBJECT)
        return "kind " + std::to_string(region.kind) + " is not 1-5";
    const int n = region.point_count;
    if (is_line_kind(region.kind)) {
        if (n != 2)
            return "a line (kind " + std::to_string(region.kind) + ") has exactly 2 points, got " + std::to_string(n);
        if (region.points[0].x == region.points[1].x && region.points[0].y == region.points[1].y)
            return "the line's two end points are the same";
        return {};
    }
    if (n < 3 || n > QV_MAX_REGION_POINTS)
        return "a zone (kind " + std::to_string(region.kind) + ") has 3 to 10 points, got " + std::to_string(n);
    // A corner given twice in a row adds nothing; judge the outline without it.
    std::vector<P> poly;
    for (int i = 0; i < n; ++i) {
        const P p = at(region.points[i]);
        if (poly.empty() || p.x != poly.back().x || p.y != poly.back().y)
            poly.push_back(p);
    }
    while (poly.size() > 1 && poly.front().x == poly.back().x && poly.front().y == poly.back().y)
        poly.pop_back();
    bool flat = true;
    for (size_t i = 2; i < poly.size() && flat; ++i)
        flat = orientation(poly[0], poly[1], poly[i]) == 0;
    if (poly.size() < 3 || flat)
        return "the zone encloses no area (its points lie on one line)";
    const std::string crossing = polygon_crossing(poly);
    if (!crossing.empty())
        return "the zone crosses itself: " + crossing;
    return {};
}

std::string check_regions_in_frame(const std::vector<qv_region> &regions, cv::Size frame)
{
    for (size_t r = 0; r < regions.size(); ++r) {
        const qv_region &region = regions[r];
        const int n = std::max(0, std::min<int>(region.point_count, QV_MAX_REGION_POINTS));
        for (int i = 0; i < n; ++i) {
            const qv_point &p = region.points[i];
            if (p.x < 0 || p.y < 0 || p.x >= frame.width || p.y >= frame.height)
                return "region " + std::to_string(r + 1) + " " + point_text(i, p) + " lies outside the " +
                       std::to_string(frame.width) + "x" + std::to_string(frame.height) + " frame (x 0-" +
                       std::to_string(frame.width - 1) + ", y 0-" + std::to_string(frame.height - 1) + ")";
        }
    }
    return {};
}
