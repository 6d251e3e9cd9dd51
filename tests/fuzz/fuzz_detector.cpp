// Drives the detector boundary with frame sizes, rule regions and frames made
// from the fuzzer's bytes, misuse included (null pointers, odd sizes, garbage
// left in the result memory), and checks every result record it gets back.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "detector/quorvane.h"
#include "quorvane/detector.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

constexpr unsigned char kGuardByte = 0xA5;

// A result record with guard bytes right behind it: a write past the record
// stays inside this allocation, where AddressSanitizer would not see it.
struct GuardedResult {
    qv_result result;
    unsigned char guard[64];
};

void check_result(const GuardedResult &out, int width, int height)
{
    for (unsigned char g : out.guard)
        FUZZ_CHECK(g == kGuardByte);
    const qv_result &r = out.result;
    FUZZ_CHECK(r.count >= 0 && r.count <= QV_MAX_OBJECTS);
    for (int i = 0; i < r.count; ++i) {
        const qv_object &o = r.objects[i];
        FUZZ_CHECK(o.track_length >= 0 && o.track_length <= QV_MAX_TRACK);
        FUZZ_CHECK(o.box.width >= 0 && o.box.height >= 0);
        FUZZ_CHECK(o.box.x >= 0 && o.box.y >= 0);
        FUZZ_CHECK(static_cast<int64_t>(o.box.x) + o.box.width <= width);
        FUZZ_CHECK(static_cast<int64_t>(o.box.y) + o.box.height <= height);
        for (int e : o.region_event)
            FUZZ_CHECK(e >= QV_EVENT_NONE && e <= QV_EVENT_LEFT_OBJECT);
    }
}

// Garbage from before: a fill byte over the whole record, then an arbitrary count.
void soil(GuardedResult &out, FuzzedDataProvider &in)
{
    std::memset(&out.result, in.ConsumeIntegral<uint8_t>(), sizeof out.result);
    out.result.count = in.ConsumeIntegral<int32_t>();
    std::memset(out.guard, kGuardByte, sizeof out.guard);
}

// Mostly sizes a detector accepts, sometimes zero, negative, very wide or very tall ones.
void pick_size(FuzzedDataProvider &in, int &width, int &height)
{
    switch (in.ConsumeIntegralInRange(0, 9)) {
    case 0: {
        static const int odd[] = {0, -1, -96, 15, 16, 16384, 16385, INT32_MAX, INT32_MIN};
        width = in.PickValueInArray(odd);
        height = in.PickValueInArray(odd);
        break;
    }
    case 1: // long and thin: the working grid may round to nothing
        width = in.ConsumeIntegralInRange(1, 20000);
        height = in.ConsumeIntegralInRange(1, 24);
        break;
    case 2:
        width = in.ConsumeIntegralInRange(1, 24);
        height = in.ConsumeIntegralInRange(1, 20000);
        break;
    default:
        width = in.ConsumeIntegralInRange(1, 96);
        height = in.ConsumeIntegralInRange(1, 96);
        break;
    }
}

// Pixel buffers are only made for sizes this small; larger claims get a token buffer.
bool fits(int width, int height, int channels)
{
    return width > 0 && height > 0 && width <= 600000 && height <= 600000 &&
           static_cast<int64_t>(width) * height * channels <= 600000;
}

int32_t coordinate(FuzzedDataProvider &in, int extent)
{
    if (in.ConsumeIntegralInRange(0, 7) == 0)
        return in.ConsumeIntegral<int32_t>();
    const int hi = std::clamp(extent, 1, 20000);
    return in.ConsumeIntegralInRange(-4, hi + 3);
}

// Either a region as a careful caller would write it (a known kind, the right
// number of points, all inside the frame) or one with anything in every field.
qv_region make_region(FuzzedDataProvider &in, int width, int height)
{
    qv_region r;
    std::memset(&r, 0, sizeof r);
    if (in.ConsumeIntegralInRange(0, 3) != 0) {
        r.kind = in.ConsumeIntegralInRange<int32_t>(QV_REGION_ZONE, QV_REGION_LEFT_OBJECT);
        const bool line = r.kind == QV_REGION_LINE_ONE_WAY || r.kind == QV_REGION_LINE_TWO_WAY;
        r.point_count = line ? 2 : in.ConsumeIntegralInRange(3, QV_MAX_REGION_POINTS);
        for (int i = 0; i < r.point_count; ++i) {
            r.points[i].x = in.ConsumeIntegralInRange(0, std::clamp(width, 1, 20001) - 1);
            r.points[i].y = in.ConsumeIntegralInRange(0, std::clamp(height, 1, 20001) - 1);
        }
        return r;
    }
    r.kind = in.ConsumeIntegralInRange(0, 9) == 0 ? in.ConsumeIntegral<int32_t>() : in.ConsumeIntegralInRange(0, 6);
    r.point_count =
        in.ConsumeIntegralInRange(0, 9) == 0 ? in.ConsumeIntegral<int32_t>() : in.ConsumeIntegralInRange(-1, 11);
    for (qv_point &p : r.points) {
        p.x = coordinate(in, width);
        p.y = coordinate(in, height);
    }
    if (in.ConsumeBool())
        for (int32_t &word : r.reserved)
            word = in.ConsumeIntegral<int32_t>();
    return r;
}

std::vector<qv_region> make_regions(FuzzedDataProvider &in, int count, int width, int height)
{
    std::vector<qv_region> regions;
    for (int i = 0; i < count; ++i)
        regions.push_back(make_region(in, width, height));
    return regions;
}

// Up to three bright or dark rectangles moving over a flat background, plus a
// little noise: enough for objects to appear, move, cross lines and stop.
struct Scene {
    struct Mover {
        int x, y, w, h, dx, dy, level;
    };
    int background = 0;
    std::vector<Mover> movers;
    std::vector<uint8_t> noise;

    void draw(std::vector<unsigned char> &pixels, int width, int height, int channels, int t) const
    {
        std::fill(pixels.begin(), pixels.end(), static_cast<unsigned char>(background));
        for (const Mover &m : movers) {
            const int64_t x0 = std::max<int64_t>(0, m.x + static_cast<int64_t>(m.dx) * t);
            const int64_t y0 = std::max<int64_t>(0, m.y + static_cast<int64_t>(m.dy) * t);
            const int64_t x1 = std::min<int64_t>(width, m.x + static_cast<int64_t>(m.dx) * t + m.w);
            const int64_t y1 = std::min<int64_t>(height, m.y + static_cast<int64_t>(m.dy) * t + m.h);
            for (int64_t y = y0; y < y1; ++y)
                for (int64_t x = x0; x < x1; ++x)
                    for (int c = 0; c < channels; ++c)
                        pixels[(y * width + x) * channels + c] = static_cast<unsigned char>(m.level);
        }
        for (size_t i = 0; i + 1 < noise.size() && !pixels.empty(); i += 2)
            pixels[(static_cast<size_t>(noise[i]) * 131 + t * 17 + i) % pixels.size()] = noise[i + 1];
    }
};

Scene make_scene(FuzzedDataProvider &in, int width, int height)
{
    Scene s;
    s.background = in.ConsumeIntegral<uint8_t>();
    const int movers = in.ConsumeIntegralInRange(0, 3);
    const int w = std::clamp(width, 1, 20000), h = std::clamp(height, 1, 20000);
    for (int i = 0; i < movers; ++i) {
        Scene::Mover m;
        m.x = in.ConsumeIntegralInRange(-w, w);
        m.y = in.ConsumeIntegralInRange(-h, h);
        m.w = in.ConsumeIntegralInRange(1, w);
        m.h = in.ConsumeIntegralInRange(1, h);
        m.dx = in.ConsumeIntegralInRange(-8, 8);
        m.dy = in.ConsumeIntegralInRange(-8, 8);
        m.level = in.ConsumeIntegral<uint8_t>();
        s.movers.push_back(m);
    }
    s.noise = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 32));
    return s;
}

// Offers a set of regions; returns the array when the detector took it.
std::unique_ptr<std::vector<qv_region>> install_regions(FuzzedDataProvider &in, void *handle, int width, int height)
{
    const int count = in.ConsumeIntegralInRange(0, 12) == 0 ? in.ConsumeIntegral<int32_t>() % 64
                                                             : in.ConsumeIntegralInRange(0, 11);
    auto regions = std::make_unique<std::vector<qv_region>>(make_regions(in, std::min(count, 11), width, height));
    const bool null_array = in.ConsumeIntegralInRange(0, 15) == 0;
    const qv_region *array = null_array || regions->empty() ? nullptr : regions->data();
    // Never claim more records than the array holds: that would be the caller's own overrun.
    const int32_t claimed = array == nullptr ? count : static_cast<int32_t>(regions->size());
    const int32_t accepted = qv_init_region(handle, claimed, array, in.ConsumeIntegral<int32_t>());
    if (handle == nullptr || array == nullptr || claimed < 1 || claimed > QV_MAX_REGIONS)
        FUZZ_CHECK(accepted == 0);
    if (accepted == 0)
        regions.reset();
    return regions;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    int width = 0, height = 0;
    pick_size(in, width, height);

    qv_config config;
    config.param_a = in.ConsumeIntegral<int8_t>();
    config.param_b = in.ConsumeIntegralInRange(-10, 400);
    config.param_c = in.ConsumeIntegral<int32_t>();
    config.param_flag = in.ConsumeIntegral<uint8_t>();
    config.param_d = in.ConsumeIntegralInRange(-10, 2000);
    config.param_e = in.ConsumeBool() ? in.ConsumeIntegralInRange(-10, 40) : in.ConsumeIntegral<int32_t>();
    const int init_channels = in.ConsumeIntegralInRange(0, 15) == 0 ? in.ConsumeIntegralInRange(-1, 4) : 1;
    std::vector<unsigned char> first(fits(width, height, std::max(init_channels, 1))
                                         ? static_cast<size_t>(width) * height * std::max(init_channels, 1)
                                         : 16);
    config.image = qv_image(width, height, init_channels, in.ConsumeIntegralInRange(0, 15) == 0 ? nullptr : first.data());

    void *handle = reinterpret_cast<void *>(static_cast<uintptr_t>(0x1234)); // overwritten on every path
    if (in.ConsumeIntegralInRange(0, 31) == 0) {
        qv_init(nullptr, config);
        handle = nullptr;
    } else {
        qv_init(&handle, config);
    }
    // The detector must refuse frames it cannot work on.
    if (width < 1 || height < 1 || config.image.data == nullptr)
        FUZZ_CHECK(handle == nullptr);

    auto out = std::make_unique<GuardedResult>();
    // Installed arrays stay alive and unchanged while the detector may use them.
    std::vector<std::unique_ptr<std::vector<qv_region>>> installed;
    const qv_region *current = nullptr;
    auto offer = [&]() {
        if (auto taken = install_regions(in, handle, width, height)) {
            current = taken->data();
            installed.push_back(std::move(taken));
        }
    };
    offer();
    const Scene scene = make_scene(in, width, height);
    const int frames = in.ConsumeIntegralInRange(1, 20);
    for (int t = 0; t < frames && in.remaining_bytes() > 0; ++t) {
        int w = width, h = height, channels = 1;
        if (in.ConsumeIntegralInRange(0, 15) == 0) { // a frame that does not match the detector
            w = in.ConsumeIntegralInRange(-2, 98);
            h = in.ConsumeIntegralInRange(-2, 98);
            channels = in.ConsumeIntegralInRange(-1, 4);
        }
        const bool real = fits(w, h, std::max(channels, 1));
        std::vector<unsigned char> pixels(real ? static_cast<size_t>(w) * h * std::max(channels, 1) : 0);
        if (real)
            scene.draw(pixels, w, h, std::max(channels, 1), t);
        const qv_image frame(w, h, channels, pixels.empty() ? nullptr : pixels.data());
        soil(*out, in);
        switch (in.ConsumeIntegralInRange(0, 23)) {
        case 0:
            qv_detect(handle, frame, current, nullptr);
            continue;
        case 1:
            qv_detect(nullptr, frame, current, &out->result);
            FUZZ_CHECK(out->result.count == 0);
            break;
        case 2:
            offer();
            [[fallthrough]];
        default:
            qv_detect(handle, frame, current, &out->result);
            break;
        }
        check_result(*out, width, height);
    }
    // The boundary has no release call (a handle lives as long as the process);
    // this harness links the library's sources, so it frees the instance itself.
    delete static_cast<qv::Detector *>(handle);
    return 0;
}
