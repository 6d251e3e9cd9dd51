#include "canvas.h"
#include "overlay/drawing.h"

#include <climits>
#include <optional>

namespace {

const Colour kBlue{255, 0, 0}, kRed{0, 0, 255}, kYellow{0, 255, 255};

qv_object boxed(qv_rect box, std::vector<int> flags = {}, std::vector<int> events = {})
{
    qv_object obj = blank_object();
    obj.box = box;
    for (size_t r = 0; r < flags.size(); ++r)
        obj.region_flag[r] = uint8_t(flags[r]);
    for (size_t r = 0; r < events.size(); ++r)
        obj.region_event[r] = events[r];
    return obj;
}

TEST(DrawBoxes, FirstFlaggedRegionPicksTheColour)
{
    struct Case {
        const char *name;
        int region_count;
        std::vector<int> flags, events;
        std::optional<Colour> expected;
    };
    const std::vector<Case> cases = {
        {"no event", 1, {1}, {0}, kBlue},
        {"enter", 1, {1}, {1}, kRed},
        {"leave", 1, {1}, {2}, kYellow},
        {"cross one way", 1, {1}, {3}, std::nullopt},
        {"cross two way", 1, {1}, {4}, std::nullopt},
        {"loiter", 1, {1}, {5}, std::nullopt},
        {"left object", 1, {1}, {6}, std::nullopt},
        {"unflagged event is ignored", 1, {0}, {1}, kBlue},
        {"only the flag value 1 counts", 1, {2}, {1}, kBlue},
        {"first flagged decides", 2, {1, 1}, {0, 1}, kBlue},
        {"later flagged region", 3, {0, 0, 1}, {4, 5, 2}, kYellow},
        {"regions beyond the count are ignored", 1, {0, 1}, {0, 1}, kBlue},
        {"no regions", 0, {1}, {3}, kBlue},
        // Past 10 flags the record holds region_event, whose byte 1 would read as a flag.
        {"region count kept to 10", INT_MAX, {}, {1}, kBlue},
    };
    for (const Case &c : cases) {
        Canvas canvas(4, 4);
        const qv_object obj = boxed({1, 1, 0, 0}, c.flags, c.events);
        draw_boxes(canvas.data(), &obj, 1, 4, 4, canvas.stride, c.region_count);
        const auto drawn = canvas.drawn();
        if (c.expected)
            EXPECT_EQ(drawn, (std::map<Pixel, Colour>{{{1, 1}, *c.expected}})) << c.name;
        else
            EXPECT_TRUE(drawn.empty()) << c.name;
    }
}

std::set<Pixel> span(int x0, int x1, int y0, int y1)
{
    std::set<Pixel> out;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            out.insert({x, y});
    return out;
}

std::set<Pixel> operator+(std::set<Pixel> a, const std::set<Pixel> &b)
{
    a.insert(b.begin(), b.end());
    return a;
}

TEST(DrawBoxes, OutlineIsClosedAndClipped)
{
    const std::vector<std::pair<qv_rect, std::set<Pixel>>> cases = {
        {{1, 1, 3, 2}, span(1, 4, 1, 1) + span(1, 4, 3, 3) + span(1, 1, 2, 2) + span(4, 4, 2, 2)},
        {{2, 2, 0, 0}, {{2, 2}}},
        {{1, 2, 3, 0}, span(1, 4, 2, 2)},
        {{2, 1, 0, 3}, span(2, 2, 1, 4)},
        {{5, 1, -3, 2}, span(5, 5, 1, 2) + span(2, 2, 1, 2)},  // negative width: side edges only
        {{-2, -2, 5, 5}, span(0, 3, 3, 3) + span(3, 3, 0, 2)},
        {{-10, -10, 30, 30}, {}},
        {{20, 1, 2, 2}, {}},
        {{0, 0, INT_MAX, INT_MAX}, span(0, 7, 0, 0) + span(0, 0, 0, 5)},
        {{INT_MAX, INT_MAX, INT_MAX, INT_MAX}, {}},
        {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {}},
        {{INT_MIN, 2, -1, 0}, {}},
    };
    for (const auto &c : cases) {
        Canvas canvas(8, 6);
        const qv_object obj = boxed(c.first);
        draw_boxes(canvas.data(), &obj, 1, 8, 6, canvas.stride, 0);
        EXPECT_EQ(canvas.drawn_pixels(), c.second)
            << c.first.x << "," << c.first.y << " " << c.first.width << "x" << c.first.height;
    }
}

TEST(DrawBoxes, CountIsKeptToTheRecords)
{
    std::vector<qv_object> objects(QV_MAX_OBJECTS, boxed({9, 9, 1, 1}));
    objects.back() = boxed({1, 1, 0, 0});
    Canvas canvas(4, 4);
    draw_boxes(canvas.data(), objects.data(), 1000, 4, 4, canvas.stride, 1);
    draw_boxes(canvas.data(), objects.data(), -1, 4, 4, canvas.stride, 1);
    EXPECT_EQ(canvas.drawn_pixels(), (std::set<Pixel>{{1, 1}}));
}

} // namespace
