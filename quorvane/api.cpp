// The library's three C entry points. Nothing thrown inside gets past them.
#include "detector/quorvane.h"

#include <memory>
#include <new>

#include "quorvane/detector.h"

extern "C" void qv_init(void **handle, qv_config config)
{
    if (handle == nullptr)
        return;
    *handle = nullptr;
    try {
        auto detector = std::make_unique<qv::Detector>();
        if (detector->init(config))
            *handle = detector.release();
    } catch (...) {
        *handle = nullptr;
    }
}

extern "C" int32_t qv_init_region(void *handle, int32_t count, const qv_region *regions, int32_t)
{
    if (handle == nullptr)
        return 0;
    try {
        return static_cast<qv::Detector *>(handle)->set_regions(regions, count) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

extern "C" void qv_detect(void *handle, qv_image image, const qv_region *, qv_result *result)
{
    if (result == nullptr)
        return;
    result->count = 0;
    if (handle == nullptr)
        return;
    try {
        static_cast<qv::Detector *>(handle)->detect(image, *result);
    } catch (...) {
        result->count = 0;
    }
}
