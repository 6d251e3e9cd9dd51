#include "quorvane/rules.h"

#include <cmath>
#include <cstdint>

#include <opencv2/imgproc.hpp>

namespace qv {

bool is_line(int kind)
{
    return kind == QV_REGION_LINE_ONE_WAY || kind == QV_REGION_LINE_TWO_WAY;
}

namespace {

// Twice the signed area, exact in 64 bits for any int32 coordinates inside a frame.
int64_t doubled_area(const qv_region &r)
{
    int64_t sum = 0;
    for (int i = 0; i < r.point_count; ++i) {
        const qv_point &a = r.points[i];
        const qv_point &b = r.points[(i + 1) % r.point_count];
        sum += static_cast<int64_t>(a.x) * b.y - static_cast<int64_t>(b.x) * a.y;
    }
    return sum;
}

bool valid_region(const qv_region &r, int width, int height)
{
    if (r.kind < QV_REGION_ZONE || r.kind > QV_REGION_LEFT_OBJECT)
        return false;
    if (is_line(r.kind) ? r.point_count != 2 : (r.point_count < 3 || r.point_count > QV_MAX_REGION_POINTS))
        return false;
    for (int i = 0; i < r.point_count; ++i)
        if (r.points[i].x < 0 || r.points[i].y < 0 || r.points[i].x >= width || r.points[i].y >= height)
            return false;
    if (is_line(r.kind))
        return r.points[0].x != r.points[1].x || r.points[0].y != r.points[1].y;
    return doubled_area(r) != 0;
}

// s(p) of a line through p0 along d, divided by |d|: signed distance, positive on the s > 0 side.
float line_distance(const Region &line, cv::Point2f p)
{
    const cv::Point2f p0 = line.points[0];
    const cv::Point2f d = line.points[1] - p0;
    return (d.x * (p.y - p0.y) - d.y * (p.x - p0.x)) / std::sqrt(d.dot(d));
}

// Whether the straight path a -> b, which changes side of the line, meets the segment between its end points.
bool crosses_segment(const Region &line, cv::Point2f a, cv::Point2f b)
{
    const float sa = line_distance(line, a), sb = line_distance(line, b);
    if (sa == sb)
        return false;
    const cv::Point2f x = a + (b - a) * (sa / (sa - sb));
    const cv::Point2f p0 = line.points[0];
    const cv::Point2f d = line.points[1] - p0;
    const float t = (x - p0).dot(d) / d.dot(d);
    return t >= 0.0f && t <= 1.0f;
}

int judge_line(const Region &line, RuleState &state, const Step &step)
{
    const float dist = line_distance(line, step.point);
    const bool clear = std::abs(dist) > step.band;
    const int side = dist > 0 ? 1 : dist < 0 ? -1 : 0;
    if (state.side == 0) { // first placed once clear of the band: appearing on the line is no crossing
        if (clear) {
            state.side = side;
            state.armed = true;
            state.last_firm = step.point;
        }
        return 0;
    }
    if (side != -state.side) { // on its side of the line, or on the line
        state.across_frames = 0;
        if (clear) {
            state.armed = true;
            state.last_firm = step.point;
        }
        return 0;
    }
    // Clear of the band on the far side is a step across at once; inside the band the
    // point must stay there a few frames, so a box stretched for one frame is no step.
    if (++state.across_frames < kAcrossFrames && !clear)
        return 0;
    // The object itself must be moving that way: a box stretching back over the line
    // (a shadow taken in, a head lost) while its owner walks on is no crossing.
    const cv::Point2f d = line.points[1] - line.points[0];
    const bool moving_across = (d.x * step.velocity.y - d.y * step.velocity.x) * static_cast<float>(side) > 0;
    int event = 0;
    if (state.armed && moving_across && crosses_segment(line, state.last_firm, step.point)) {
        if (line.kind == QV_REGION_LINE_TWO_WAY)
            event = QV_EVENT_CROSS_TWO_WAY;
        else if (state.side > 0)
            event = QV_EVENT_CROSS_ONE_WAY;
    }
    state.side = side;
    state.armed = clear;
    state.last_firm = step.point;
    state.across_frames = 0;
    return event;
}

int judge_zone(const Region &zone, RuleState &state, const Step &step, uint8_t &flag)
{
    const double dist = cv::pointPolygonTest(zone.points, step.point, true);
    const bool was_inside = state.inside;
    bool entered = false, left = false;
    if (dist > step.band && !state.inside) {
        // First seen inside, away from the frame's edge: a piece of something
        // already there or someone stepping out from cover, not an entry.
        entered = state.seen || step.at_border;
        state.inside = true;
    } else if (dist < -step.band && state.inside) {
        left = true;
        state.inside = false;
    }

    state.seen = true;
    int event = 0;
    switch (zone.kind) {
    case QV_REGION_ZONE:
        event = entered ? QV_EVENT_ENTER : left ? QV_EVENT_LEAVE : 0;
        flag = (state.inside || (left && was_inside)) ? 1 : 0;
        break;
    case QV_REGION_LOITER:
        if (!state.inside) {
            state.inside_frames = 0;
            state.loiter_fired = false;
        } else if (++state.inside_frames >= kLoiterFrames && !state.loiter_fired) {
            state.loiter_fired = true;
            event = QV_EVENT_LOITER;
        }
        break;
    case QV_REGION_LEFT_OBJECT:
        if (state.inside && step.still_frames >= kLeftObjectFrames && !state.left_fired) {
            state.left_fired = true;
            event = QV_EVENT_LEFT_OBJECT;
        }
        break;
    default:
        break;
    }
    return event;
}

} // namespace

bool parse_regions(const qv_region *regions, int count, int width, int height, std::vector<Region> &out)
{
    if (regions == nullptr || count < 1 || count > QV_MAX_REGIONS)
        return false;
    for (int i = 0; i < count; ++i)
        if (!valid_region(regions[i], width, height))
            return false;
    out.clear();
    for (int i = 0; i < count; ++i) {
        Region r;
        r.kind = regions[i].kind;
        for (int p = 0; p < regions[i].point_count; ++p)
            r.points.emplace_back(static_cast<float>(regions[i].points[p].x), static_cast<float>(regions[i].points[p].y));
        out.push_back(std::move(r));
    }
    return true;
}

int judge(const Region &region, RuleState &state, const Step &step, uint8_t &flag)
{
    flag = 0;
    if (is_line(region.kind))
        return judge_line(region, state, step);
    return judge_zone(region, state, step, flag);
}

} // namespace qv
