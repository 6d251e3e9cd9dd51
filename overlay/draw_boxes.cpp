#include "overlay/drawing.h"
#include "overlay/bgr_image.h"

#include <algorithm>
#include <cstdint>

namespace {

// The event of the first region flagged 1 picks the colour; only "none", "enter" and "leave"
// get a box, every other event leaves the object unboxed.
bool box_colour(const qv_object &obj, int region_count, Bgr *colour)
{
    int32_t event = QV_EVENT_NONE;
    for (int r = 0; r < region_count; ++r) {
        if (obj.region_flag[r] == 1) {
            event = obj.region_event[r];
            break;
        }
    }
    switch (event) {
    case QV_EVENT_NONE:
        *colour = {255, 0, 0};
        return true;
    case QV_EVENT_ENTER:
        *colour = {0, 0, 255};
        return true;
    case QV_EVENT_LEAVE:
        *colour = {0, 255, 255};
        return true;
    default:
        return false;
    }
}

// Closed one-pixel outline with corners (x, y) and (x + w, y + h). The edges are computed in
// 64 bits and their loops cut to the image, so huge or negative boxes cost nothing and wrap nowhere.
void draw_box(const BgrImage &img, const qv_rect &box, Bgr colour)
{
    const int64_t left = box.x;
    const int64_t top = box.y;
    const int64_t right = left + box.width;
    const int64_t bottom = top + box.height;

    const int64_t last_column = std::min<int64_t>(right, img.width - 1);
    for (int64_t c = std::max<int64_t>(left, 0); c <= last_column; ++c) {
        img.put(c, top, colour);
        img.put(c, bottom, colour);
    }
    const int64_t last_row = std::min<int64_t>(bottom - 1, img.height - 1);
    for (int64_t r = std::max<int64_t>(top, 0); r <= last_row; ++r) {
        img.put(left, r, colour);
        img.put(right, r, colour);
    }
}

} // namespace

void draw_boxes(unsigned char *buffer, const qv_object *objects, int count, int width, int height, int stride,
                int region_count)
{
    const BgrImage img{buffer, width, height, stride};
    if (objects == nullptr || !img.usable())
        return;
    count = std::clamp(count, 0, QV_MAX_OBJECTS);
    region_count = std::clamp(region_count, 0, QV_MAX_REGIONS);
    for (int i = 0; i < count; ++i) {
        Bgr colour;
        if (box_colour(objects[i], region_count, &colour))
            draw_box(img, objects[i].box, colour);
    }
}
