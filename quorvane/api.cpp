// Placeholder detector: validates its inputs and reports no objects.
#include "detector/quorvane.h"

#include <new>

namespace {
struct Detector {
    int width;
    int height;
};
} // namespace

extern "C" void qv_init(void **handle, qv_config config)
{
    if (handle == nullptr)
        return;
    if (config.image.data == nullptr || config.image.width <= 0 || config.image.height <= 0 ||
        config.image.channels != 1)
        return;
    *handle = new (std::nothrow) Detector{config.image.width, config.image.height};
}

extern "C" int32_t qv_init_region(void *handle, int32_t count, const qv_region *regions, int32_t)
{
    if (handle == nullptr || regions == nullptr || count < 1 || count > QV_MAX_REGIONS)
        return 0;
    const Detector *d = static_cast<const Detector *>(handle);
    for (int i = 0; i < count; ++i) {
        const qv_region &r = regions[i];
        if (r.kind != QV_REGION_LINE_TWO_WAY || r.point_count != 2)
            return 0;
        for (int p = 0; p < 2; ++p)
            if (r.points[p].x < 0 || r.points[p].y < 0 || r.points[p].x >= d->width || r.points[p].y >= d->height)
                return 0;
    }
    return 1;
}

extern "C" void qv_detect(void *, qv_image, const qv_region *, qv_result *result)
{
    if (result != nullptr)
        result->count = 0;
}
