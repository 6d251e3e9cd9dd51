#include "overlay/drawing.h"
#include "overlay/bgr_image.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

// Signed remainder and then the low 8 bits, so negative ids still give distinct colours.
Bgr track_colour(int32_t id)
{
    return {static_cast<unsigned char>((id % 13) * 20 + 15), static_cast<unsigned char>((id % 7) * 36 + 36),
            static_cast<unsigned char>((id % 3) * 85 + 85)};
}

// Rounds half up and truncates toward zero, then pins the result into 0..limit-1. The pinning is
// done on the double so a far-off point never reaches an out-of-range int conversion.
int round_into(double v, int limit)
{
    v += 0.5;
    if (v >= limit)
        return limit - 1;
    if (v < 0)
        return 0;
    return static_cast<int>(v);
}

// Walks the longer axis (x for a shallow segment, y for a steep one, ties count as steep) one
// pixel at a time, computes the other coordinate from the line through both ends, and thickens
// by one pixel down/right, or up/left on the image's last row/column. Only the walked range is
// cut to the image; the computed coordinate is pinned to the edge, so clipping leaves the pixels
// inside the image exactly as the whole walk would set them.
void draw_segment(const BgrImage &img, qv_point from, qv_point to, Bgr colour)
{
    if (from.x == to.x && from.y == to.y) {
        img.put(to.x, to.y, colour);
        return;
    }
    const int64_t dx = int64_t{to.x} - from.x;
    const int64_t dy = int64_t{to.y} - from.y;
    const bool shallow = std::llabs(dx) > std::llabs(dy);

    const int64_t walk_from = shallow ? from.x : from.y;
    const int64_t walk_to = shallow ? to.x : to.y;
    const int walk_limit = shallow ? img.width : img.height;
    const int side_limit = shallow ? img.height : img.width;
    const double slope = shallow ? double(dy) / double(dx) : double(dx) / double(dy);
    const double intercept = shallow ? double(to.y) - double(to.x) * slope : double(to.x) - double(to.y) * slope;

    const int64_t first = std::max<int64_t>(std::min(walk_from, walk_to), 0);
    const int64_t last = std::min<int64_t>(std::max(walk_from, walk_to), walk_limit - 1);
    auto plot = [&](int64_t walked, int64_t side) {
        if (shallow)
            img.put(walked, side, colour);
        else
            img.put(side, walked, colour);
    };
    for (int64_t w = first; w <= last; ++w) {
        const int s = round_into(double(w) * slope + intercept, side_limit);
        plot(w, s);
        if (s + 1 < side_limit)
            plot(w, s + 1);
        else if (s - 1 >= 0)
            plot(w, s - 1);
    }
}

} // namespace

void draw_tracks(unsigned char *buffer, const qv_object *objects, int count, int width, int height, int stride)
{
    const BgrImage img{buffer, width, height, stride};
    if (objects == nullptr || !img.usable())
        return;
    count = std::clamp(count, 0, QV_MAX_OBJECTS);
    for (int i = 0; i < count; ++i) {
        const qv_object &obj = objects[i];
        const int length = std::clamp(obj.track_length, 0, QV_MAX_TRACK);
        const Bgr colour = track_colour(obj.id);
        for (int j = 1; j < length; ++j)
            draw_segment(img, obj.track[j - 1], obj.track[j], colour);
    }
}
