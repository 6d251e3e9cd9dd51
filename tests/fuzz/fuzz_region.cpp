// Feeds the --region parser arbitrary strings. What it accepts must be a
// well-formed region that reads back to itself; what it refuses must say why.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/region_arg.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

std::string format(const qv_region &r)
{
    std::string text = std::to_string(r.kind) + ":";
    for (int i = 0; i < r.point_count; ++i)
        text += (i ? "," : "") + std::to_string(r.points[i].x) + "," + std::to_string(r.points[i].y);
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string arg(reinterpret_cast<const char *>(data), size);
    qv_region region;
    std::memset(&region, 0xCD, sizeof region); // what the parser must overwrite
    const std::string why = parse_region_arg(arg, region);
    if (!why.empty())
        return 0;
    FUZZ_CHECK(region.point_count >= 1 && region.point_count <= QV_MAX_REGION_POINTS);
    for (int i = region.point_count; i < QV_MAX_REGION_POINTS; ++i)
        FUZZ_CHECK(region.points[i].x == 0 && region.points[i].y == 0);
    for (int32_t word : region.reserved)
        FUZZ_CHECK(word == 0);
    qv_region again;
    FUZZ_CHECK(parse_region_arg(format(region), again).empty());
    FUZZ_CHECK(std::memcmp(&region, &again, sizeof region) == 0);
    return 0;
}
