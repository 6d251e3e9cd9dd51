// The text renderer with a real Chinese font.
#include <cstdio>
#include <cstring>
#include <memory>
#include <type_traits>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "driver/console_text.h"
#include "overlay/cvx_text.h"
#include "tests/text/chinese_font.h"

namespace {

const cv::Scalar kRed(10, 10, 255, 0);
const cv::Scalar kCaptionSize(40.0, 0.5, 0.1, 0.0);

cv::Mat black(int rows, int cols)
{
    return cv::Mat(rows, cols, CV_8UC3, cv::Scalar::all(0));
}

bool same(const cv::Mat &a, const cv::Mat &b)
{
    return a.size() == b.size() && cv::norm(a, b, cv::NORM_INF) == 0.0;
}

// Columns [first, last] that hold drawn pixels, or {-1, -1}.
std::pair<int, int> drawn_span(const cv::Mat &image)
{
    std::pair<int, int> span(-1, -1);
    for (int x = 0; x < image.cols; ++x)
        for (int y = 0; y < image.rows; ++y)
            if (image.at<cv::Vec3b>(y, x) != cv::Vec3b(0, 0, 0)) {
                if (span.first < 0)
                    span.first = x;
                span.second = x;
                break;
            }
    return span;
}

} // namespace

static_assert(!std::is_copy_constructible<CvxText>::value, "a renderer owns its FreeType handles");
static_assert(!std::is_copy_assignable<CvxText>::value, "a renderer owns its FreeType handles");

TEST(CvxTextConstruction, FailureNamesTheFileAndTheCall)
{
    try {
        CvxText text("/nonexistent/simhei.ttf");
        FAIL() << "constructed from a missing file";
    } catch (const CvxTextError &error) {
        EXPECT_NE(std::strstr(error.what(), "/nonexistent/simhei.ttf"), nullptr) << error.what();
        EXPECT_NE(std::strstr(error.what(), "FT_New_Face"), nullptr) << error.what();
    }

    const std::string not_a_font = ::testing::TempDir() + "not_a_font.ttf";
    std::FILE *file = std::fopen(not_a_font.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("plain text, not a font\n", file);
    std::fclose(file);
    try {
        CvxText text(not_a_font);
        FAIL() << "constructed from a text file";
    } catch (const CvxTextError &error) {
        EXPECT_NE(std::strstr(error.what(), "FT_New_Face"), nullptr) << error.what();
        EXPECT_NE(std::strstr(error.what(), "format"), nullptr) << error.what();
    }
    std::remove(not_a_font.c_str());
}

using CvxTextStyle = WithChineseFont;

TEST_F(CvxTextStyle, DefaultsOptionalInputsAndAbsoluteSizes)
{
    CvxText text(font_path);
    EXPECT_EQ(text.styleKind(), 0);
    EXPECT_EQ(text.size(), cv::Scalar(20.0, 0.5, 0.1, 0.0));
    EXPECT_FALSE(text.underline());
    EXPECT_EQ(text.opacity(), 1.0f);
    EXPECT_EQ(text.pixelSize(), 20);

    EXPECT_TRUE(text.setStyle(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(text.size(), cv::Scalar(20.0, 0.5, 0.1, 0.0));
    EXPECT_EQ(text.pixelSize(), 20);

    const int kind = 3;
    const cv::Scalar size(-40.9, -0.5, 0.1, -2.0);
    const bool underline = true;
    const float opacity = 0.25f;
    EXPECT_TRUE(text.setStyle(&kind, &size, &underline, &opacity));
    EXPECT_EQ(text.styleKind(), 3);
    EXPECT_EQ(text.size(), cv::Scalar(40.9, 0.5, 0.1, 2.0));
    EXPECT_TRUE(text.underline());
    EXPECT_EQ(text.opacity(), 0.25f);
    EXPECT_EQ(text.pixelSize(), 40);

    const float opaque = 1.0f;
    text.setStyle(nullptr, nullptr, nullptr, &opaque); // the rest stays
    EXPECT_EQ(text.styleKind(), 3);
    EXPECT_EQ(text.pixelSize(), 40);

    EXPECT_TRUE(text.resetStyle());
    EXPECT_EQ(text.styleKind(), 0);
    EXPECT_EQ(text.size(), cv::Scalar(20.0, 0.5, 0.1, 0.0));
    EXPECT_FALSE(text.underline());
    EXPECT_EQ(text.pixelSize(), 20);
}

using CvxTextDrawing = WithChineseFont;

TEST_F(CvxTextDrawing, GlyphsAdvanceByBitmapWidthOrBlankPlusGap)
{
    CvxText text(font_path);
    text.setStyle(nullptr, &kCaptionSize, nullptr, nullptr);

    cv::Mat image = black(60, 200);
    cv::Point pen(10, 50);
    text.drawGlyph(image, ' ', pen, kRed);
    EXPECT_EQ(pen, cv::Point(34, 50));
    EXPECT_EQ(cv::countNonZero(image.reshape(1)), 0);

    const int start = pen.x;
    text.drawGlyph(image, 0x7981, pen, kRed); // 禁
    const std::pair<int, int> span = drawn_span(image);
    ASSERT_GE(span.first, start);
    // The pen moves past the bitmap (whose edge columns may be empty) and the 4-pixel gap.
    const int drawn_width = span.second - start + 1;
    EXPECT_GE(pen.x - start, drawn_width + 4);
    EXPECT_LE(pen.x - start, drawn_width + 4 + 2);
    EXPECT_EQ(pen.y, 50);
}

TEST_F(CvxTextDrawing, DrawTextReturnsBytesConsumedAndDrawsEachCharacter)
{
    CvxText text(font_path);
    text.setStyle(nullptr, &kCaptionSize, nullptr, nullptr);
    const cv::Point origin(5, 50);

    const auto glyph_by_glyph = [&](std::initializer_list<std::uint16_t> codes) {
        cv::Mat image = black(60, 300);
        cv::Point pen = origin;
        for (const std::uint16_t code : codes)
            text.drawGlyph(image, code, pen, kRed);
        return image;
    };

    cv::Mat ascii = black(60, 300);
    EXPECT_EQ(text.drawText(&ascii, "ab", origin, kRed), 2);
    EXPECT_TRUE(same(ascii, glyph_by_glyph({'a', 'b'})));

    cv::Mat chinese = black(60, 300);
    EXPECT_EQ(text.drawText(&chinese, utf8_to_gbk(" 禁区 ").c_str(), origin, kRed), 6);
    EXPECT_TRUE(same(chinese, glyph_by_glyph({' ', 0x7981, 0x533A, ' '})));
    EXPECT_FALSE(same(chinese, glyph_by_glyph({' ', ' '})));

    // A lead byte cut off by the terminator draws nothing and nothing past the terminator is read.
    const char bytes[] = {'a', '\xBD', '\0'};
    auto cut = std::make_unique<char[]>(sizeof bytes);
    std::memcpy(cut.get(), bytes, sizeof bytes);
    cv::Mat truncated = black(60, 300);
    EXPECT_EQ(text.drawText(&truncated, cut.get(), origin, kRed), 2);
    EXPECT_TRUE(same(truncated, glyph_by_glyph({'a'})));

    cv::Mat untouched = black(60, 300);
    EXPECT_EQ(text.drawText(&untouched, "", origin, kRed), 0);
    EXPECT_EQ(text.drawText(nullptr, "ab", origin, kRed), -1);
    EXPECT_EQ(text.drawText(&untouched, nullptr, origin, kRed), -1);
    cv::Mat empty;
    EXPECT_EQ(text.drawText(&empty, "ab", origin, kRed), -1);
    cv::Mat deep(60, 300, CV_16UC3, cv::Scalar::all(0));
    EXPECT_EQ(text.drawText(&deep, "ab", origin, kRed), -1);
    EXPECT_EQ(cv::countNonZero(untouched.reshape(1)), 0);
    EXPECT_EQ(cv::countNonZero(deep.reshape(1)), 0);
}

