// Draws arbitrary byte strings (cut GBK pairs, stray lead bytes, embedded
// terminators) at arbitrary positions and sizes onto small images, with the
// Chinese font the program itself would pick.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include <opencv2/core.hpp>

#include "overlay/cvx_text.h"
#include "overlay/font_lookup.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// One renderer for the whole run: opening a 16 MB face per input would drown the
// fuzzing in file parsing. resetStyle puts it back to a known state per input.
CvxText *renderer = nullptr;

double any_double(FuzzedDataProvider &in)
{
    static const double odd[] = {0.0, -0.0, 1e300, -1e300, std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
                                 std::numeric_limits<double>::denorm_min()};
    if (in.ConsumeIntegralInRange(0, 5) == 0)
        return in.PickValueInArray(odd);
    return in.ConsumeFloatingPointInRange(-1000.0, 1000.0);
}

int any_position(FuzzedDataProvider &in)
{
    if (in.ConsumeIntegralInRange(0, 7) == 0)
        return in.ConsumeIntegral<int>();
    return in.ConsumeIntegralInRange(-80, 160);
}

cv::Mat make_image(FuzzedDataProvider &in)
{
    static const int types[] = {CV_8UC1, CV_8UC2, CV_8UC3, CV_8UC4, CV_8UC(5), CV_8SC1, CV_16UC3, CV_32FC1};
    const int rows = in.ConsumeIntegralInRange(0, 48);
    const int cols = in.ConsumeIntegralInRange(0, 64);
    const int type = in.ConsumeIntegralInRange(0, 3) == 0 ? in.PickValueInArray(types) : CV_8UC3;
    if (rows == 0 || cols == 0)
        return cv::Mat();
    cv::Mat image(rows, cols, type);
    std::memset(image.data, in.ConsumeIntegral<uint8_t>(), image.total() * image.elemSize()); // any channel count
    return image;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const FontMatch font = find_chinese_font();
    if (font.path.empty()) {
        std::fprintf(stderr, "fuzz_text: no Chinese font: %s\n", font.reason.c_str());
        std::exit(1);
    }
    renderer = new CvxText(font.path);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    FUZZ_CHECK(renderer->resetStyle());

    const int kind = in.ConsumeIntegral<int>();
    // The pixel size is kept to what a caption could use: huge sizes only make
    // FreeType render huge bitmaps. NaN and negative sizes stay in play.
    const double pixels = in.ConsumeIntegralInRange(0, 15) == 0 ? std::numeric_limits<double>::quiet_NaN()
                                                                 : in.ConsumeFloatingPointInRange(-120.0, 120.0);
    const cv::Scalar style_size(pixels, any_double(in), any_double(in), any_double(in));
    const bool underline = in.ConsumeBool();
    const float opacity = static_cast<float>(in.ConsumeBool() ? in.ConsumeFloatingPointInRange(-2.0, 2.0)
                                                              : any_double(in));
    renderer->setStyle(in.ConsumeBool() ? &kind : nullptr, in.ConsumeBool() ? &style_size : nullptr,
                       in.ConsumeBool() ? &underline : nullptr, in.ConsumeBool() ? &opacity : nullptr);

    cv::Mat image = make_image(in);
    const cv::Mat before = image.clone();
    const cv::Point position(any_position(in), any_position(in));
    const cv::Scalar colour(any_double(in), any_double(in), any_double(in), any_double(in));
    const int mode = in.ConsumeIntegralInRange(0, 15);
    if (mode == 0) { // one code straight to drawGlyph
        if (!image.empty()) {
            cv::Point pen = position;
            renderer->drawGlyph(image, in.ConsumeIntegral<uint16_t>(), pen, colour);
        }
        return 0;
    }
    const std::string text = in.ConsumeRandomLengthString(96);
    const bool supported = !image.empty() && image.depth() == CV_8U && image.channels() <= 4;
    int consumed = 0;
    if (mode == 1)
        consumed = renderer->drawText(nullptr, text.c_str(), position, colour);
    else if (mode == 2)
        consumed = renderer->drawText(&image, nullptr, position, colour);
    else
        consumed = renderer->drawText(&image, text.c_str(), position, colour);

    if (mode == 1 || mode == 2 || !supported) {
        FUZZ_CHECK(consumed == -1);
        FUZZ_CHECK(image.empty() || cv::norm(image, before, cv::NORM_INF) == 0.0);
    } else {
        FUZZ_CHECK(consumed == static_cast<int>(std::strlen(text.c_str())));
    }
    return 0;
}
