#include "canvas.h"
#include "overlay/drawing.h"

#include <climits>
#include <random>

namespace {

qv_object track(std::vector<qv_point> points, int id = 0)
{
    qv_object obj = blank_object();
    obj.id = id;
    obj.track_length = int(points.size());
    std::copy(points.begin(), points.end(), obj.track);
    return obj;
}

std::set<Pixel> draw(int width, int height, const std::vector<qv_point> &points)
{
    Canvas canvas(width, height);
    const qv_object obj = track(points);
    draw_tracks(canvas.data(), &obj, 1, width, height, canvas.stride);
    return canvas.drawn_pixels();
}

std::set<Pixel> rows_across(int width, std::initializer_list<int> rows)
{
    std::set<Pixel> out;
    for (int y : rows)
        for (int x = 0; x < width; ++x)
            out.insert({x, y});
    return out;
}

TEST(DrawTracks, SegmentShapes)
{
    struct Case {
        const char *name;
        int width, height;
        std::vector<qv_point> points;
        std::set<Pixel> expected;
    };
    const std::vector<Case> cases = {
        {"equal points set one pixel", 6, 6, {{2, 2}, {2, 2}}, {{2, 2}}},
        {"single point draws nothing", 6, 6, {{2, 2}}, {}},
        {"diagonal is steep, thickened right", 5, 5, {{0, 0}, {3, 3}},
         {{0, 0}, {1, 0}, {1, 1}, {2, 1}, {2, 2}, {3, 2}, {3, 3}, {4, 3}}},
        {"diagonal on the last column thickens left", 4, 4, {{0, 0}, {3, 3}},
         {{0, 0}, {1, 0}, {1, 1}, {2, 1}, {2, 2}, {3, 2}, {3, 3}, {2, 3}}},
        {"shallow rounds half up", 6, 6, {{0, 0}, {4, 1}},
         {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 1}, {2, 2}, {3, 1}, {3, 2}, {4, 1}, {4, 2}}},
        {"horizontal thickens down", 4, 3, {{0, 0}, {3, 0}}, rows_across(4, {0, 1})},
        {"horizontal on the last row thickens up", 4, 3, {{3, 2}, {0, 2}}, rows_across(4, {1, 2})},
        {"polyline follows every point", 5, 5, {{0, 0}, {2, 0}, {2, 1}},
         {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}, {3, 0}, {3, 1}}},
        {"partly outside is cut", 8, 6, {{-5, 2}, {10, 2}}, rows_across(8, {2, 3})},
        {"computed row is pinned to the edge", 8, 4, {{0, -50}, {7, -49}}, rows_across(8, {0, 1})},
        {"walk left of the image", 8, 6, {{-20, 1}, {-10, 3}}, {}},
        {"walk below the image", 8, 6, {{2, 10}, {3, 20}}, {}},
        {"extreme corners", 5, 5, {{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}},
         {{0, 0}, {1, 0}, {1, 1}, {2, 1}, {2, 2}, {3, 2}, {3, 3}, {4, 3}, {4, 4}, {3, 4}}},
        {"extreme horizontal", 4, 3, {{INT_MAX, 1}, {INT_MIN, 1}}, rows_across(4, {1, 2})},
        {"far-left vertical is pinned to column 0", 2, 3, {{INT_MIN, INT_MAX}, {INT_MIN, INT_MIN}},
         rows_across(2, {0, 1, 2})},
    };
    for (const Case &c : cases)
        EXPECT_EQ(draw(c.width, c.height, c.points), c.expected) << c.name;
}

// The whole walk as the drawing rule states it, keeping only the pixels that land in the image.
std::set<Pixel> unclipped_walk(int width, int height, qv_point a, qv_point b)
{
    std::set<Pixel> out;
    auto keep = [&](int x, int y) {
        if (x >= 0 && x < width && y >= 0 && y < height)
            out.insert({x, y});
    };
    if (a.x == b.x && a.y == b.y) {
        keep(b.x, b.y);
        return out;
    }
    const bool shallow = std::abs(b.x - a.x) > std::abs(b.y - a.y);
    const int side_limit = shallow ? height : width;
    const double slope = shallow ? double(b.y - a.y) / (b.x - a.x) : double(b.x - a.x) / (b.y - a.y);
    const double intercept = shallow ? b.y - b.x * slope : b.x - b.y * slope;
    const int from = shallow ? std::min(a.x, b.x) : std::min(a.y, b.y);
    const int to = shallow ? std::max(a.x, b.x) : std::max(a.y, b.y);
    for (int w = from; w <= to; ++w) {
        int s = int(w * slope + intercept + 0.5);
        s = std::max(std::min(s, side_limit - 1), 0);
        const int thick = s + 1 < side_limit ? s + 1 : s - 1;
        for (int t : {s, thick})
            if (t >= 0)
                shallow ? keep(w, t) : keep(t, w);
    }
    return out;
}

TEST(DrawTracks, ClippingKeepsTheInsidePixelsOfTheWholeWalk)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> coord(-40, 40);
    for (int i = 0; i < 2000; ++i) {
        const qv_point a{coord(rng), coord(rng)}, b{coord(rng), coord(rng)};
        ASSERT_EQ(draw(13, 9, {a, b}), unclipped_walk(13, 9, a, b))
            << "(" << a.x << "," << a.y << ")-(" << b.x << "," << b.y << ")";
    }
}

TEST(DrawTracks, ColourComesFromId)
{
    const std::vector<std::pair<int, Colour>> cases = {
        {0, {15, 36, 85}}, {12, {255, 216, 85}}, {-1, {251, 0, 0}}, {INT_MIN, {51, 220, 171}}};
    for (const auto &c : cases) {
        Canvas canvas(4, 4);
        const qv_object obj = track({{1, 1}, {1, 1}}, c.first);
        draw_tracks(canvas.data(), &obj, 1, 4, 4, canvas.stride);
        EXPECT_EQ(canvas.drawn(), (std::map<Pixel, Colour>{{{1, 1}, c.second}})) << "id " << c.first;
    }
}

// The detector's counts are not trusted: reading past the 100 objects or the 200 points of a
// track would leave the result storage (the sanitizer build reports it).
TEST(DrawTracks, CountsAreKeptToTheRecords)
{
    std::vector<qv_object> objects(QV_MAX_OBJECTS, blank_object());
    objects.back() = track(std::vector<qv_point>(QV_MAX_TRACK, qv_point{1, 1}));
    objects.back().track_length = INT_MAX;
    objects.front() = track({{0, 0}, {0, 0}});
    objects.front().track_length = -3;

    Canvas canvas(4, 4);
    draw_tracks(canvas.data(), objects.data(), 1000, 4, 4, canvas.stride);
    EXPECT_EQ(canvas.drawn_pixels(), (std::set<Pixel>{{1, 1}}));

    Canvas untouched(4, 4);
    draw_tracks(untouched.data(), objects.data(), -1, 4, 4, untouched.stride);
    draw_tracks(untouched.data(), objects.data(), 100, 4, 4, 3 * 4 - 1);  // stride shorter than a row
    EXPECT_TRUE(untouched.drawn().empty());
}

} // namespace
