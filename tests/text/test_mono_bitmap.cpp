// The pixel-level parts of the text renderer, on hand-made bitmaps: no font needed.
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "driver/console_text.h"
#include "overlay/cvx_text.h"

namespace {

const cv::Scalar kRed(10, 10, 255, 0);

// Columns of row y that differ from black.
std::vector<int> drawn_columns(const cv::Mat &image, int y)
{
    std::vector<int> columns;
    for (int x = 0; x < image.cols; ++x)
        if (image.at<cv::Vec3b>(y, x) != cv::Vec3b(0, 0, 0))
            columns.push_back(x);
    return columns;
}

std::vector<int> drawn_for_row_bytes(unsigned char first, unsigned char second)
{
    const unsigned char row[2] = {first, second};
    cv::Mat image(1, 16, CV_8UC3, cv::Scalar::all(0));
    blend_mono_bitmap(image, MonoBitmap{row, 1, 16, 2}, cv::Point(0, 0), kRed, 1.0f);
    return drawn_columns(image, 0);
}

} // namespace

TEST(MonoBitmap, WideningByTheMaskStaysWithinAByte)
{
    EXPECT_EQ(drawn_for_row_bytes(0x00, 0x80), std::vector<int>({8}));    // column 7 is in the other byte
    EXPECT_EQ(drawn_for_row_bytes(0x20, 0x00), std::vector<int>({1, 2})); // thickened one to the left
    EXPECT_EQ(drawn_for_row_bytes(0x01, 0x00), std::vector<int>({6, 7}));
    EXPECT_EQ(drawn_for_row_bytes(0x80, 0x01), std::vector<int>({0, 14, 15}));
}

TEST(MonoBitmap, BlendsWithOpacityRoundingHalfToEvenAndSaturating)
{
    const unsigned char one = 0x80;
    const MonoBitmap dot{&one, 1, 1, 1};

    cv::Mat white(1, 1, CV_8UC3, cv::Scalar(255, 255, 255));
    blend_mono_bitmap(white, dot, cv::Point(0, 0), kRed, 0.5f);
    EXPECT_EQ(white.at<cv::Vec3b>(0, 0), cv::Vec3b(132, 132, 255)); // 132.5 goes to the even neighbour

    cv::Mat dark(1, 1, CV_8UC3, cv::Scalar(1, 3, 0));
    blend_mono_bitmap(dark, dot, cv::Point(0, 0), kRed, 0.5f);
    EXPECT_EQ(dark.at<cv::Vec3b>(0, 0), cv::Vec3b(6, 6, 128)); // 5.5 -> 6, 6.5 -> 6, 127.5 -> 128

    cv::Mat any(1, 1, CV_8UC3, cv::Scalar(40, 50, 60));
    blend_mono_bitmap(any, dot, cv::Point(0, 0), cv::Scalar(300, -20, 128), 1.0f);
    EXPECT_EQ(any.at<cv::Vec3b>(0, 0), cv::Vec3b(255, 0, 128));
    blend_mono_bitmap(any, dot, cv::Point(0, 0), kRed, 0.0f);
    EXPECT_EQ(any.at<cv::Vec3b>(0, 0), cv::Vec3b(255, 0, 128));

    cv::Mat grey(1, 1, CV_8UC1, cv::Scalar(0));
    blend_mono_bitmap(grey, dot, cv::Point(0, 0), cv::Scalar(200), 1.0f);
    EXPECT_EQ(grey.at<unsigned char>(0, 0), 200);
}

TEST(MonoBitmap, PixelsOutsideTheImageAreSkippedOneByOne)
{
    const unsigned char block[3] = {0xE0, 0xE0, 0xE0}; // 3 x 3, all set
    const MonoBitmap bitmap{block, 3, 3, 1};
    struct Case {
        cv::Point bottom_left;
        int drawn;
    };
    // The bitmap covers columns x..x+2 and rows y-2..y.
    const Case cases[] = {
        {{-1, 2}, 6},  {{-2, 2}, 3},  {{-3, 2}, 0},  // left edge
        {{1, 0}, 3},   {{1, 1}, 6},   {{1, -1}, 0},  // top edge
        {{2, 2}, 6},   {{3, 2}, 3},   {{4, 2}, 0},   // right edge (width 4)
        {{1, 4}, 6},   {{1, 5}, 3},   {{1, 6}, 0},   // bottom edge (height 4)
        {{-1, 0}, 2},  {{3, 5}, 1},                  // corners
        {{INT_MAX, INT_MAX}, 0}, {{INT_MIN, INT_MIN}, 0}, {{INT_MAX - 1, 1}, 0}, {{INT_MIN, 2}, 0},
    };
    for (const Case &c : cases) {
        cv::Mat image(4, 4, CV_8UC3, cv::Scalar::all(0));
        blend_mono_bitmap(image, bitmap, c.bottom_left, kRed, 1.0f);
        cv::Mat channels[3];
        cv::split(image, channels);
        EXPECT_EQ(cv::countNonZero(channels[2]), c.drawn) << "at " << c.bottom_left;
        // Whatever lands inside is exactly the visible part of the block.
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const long long dx = static_cast<long long>(x) - c.bottom_left.x;
                const long long dy = static_cast<long long>(c.bottom_left.y) - y;
                const bool inside = dx >= 0 && dx < 3 && dy >= 0 && dy < 3;
                EXPECT_EQ(channels[2].at<unsigned char>(y, x) != 0, inside) << "at " << c.bottom_left;
            }
    }
}

TEST(MonoBitmap, NegativePitchMeansRowsStoredBottomUp)
{
    const unsigned char top_down[2] = {0x80, 0x20};  // top row: column 0; bottom row: column 2 (and 1)
    const unsigned char bottom_up[2] = {0x20, 0x80};
    cv::Mat a(3, 4, CV_8UC3, cv::Scalar::all(0));
    cv::Mat b = a.clone();
    blend_mono_bitmap(a, MonoBitmap{top_down, 2, 4, 1}, cv::Point(0, 2), kRed, 1.0f);
    blend_mono_bitmap(b, MonoBitmap{bottom_up, 2, 4, -1}, cv::Point(0, 2), kRed, 1.0f);
    EXPECT_EQ(drawn_columns(a, 1), std::vector<int>({0}));
    EXPECT_EQ(drawn_columns(a, 2), std::vector<int>({1, 2}));
    EXPECT_EQ(cv::norm(a, b, cv::NORM_INF), 0.0);
}

TEST(MonoBitmap, UnsupportedImagesAreLeftAlone)
{
    const unsigned char one = 0x80;
    cv::Mat wide(2, 2, CV_16UC3, cv::Scalar::all(7));
    blend_mono_bitmap(wide, MonoBitmap{&one, 1, 1, 1}, cv::Point(0, 0), kRed, 1.0f);
    EXPECT_EQ(wide.at<cv::Vec3w>(0, 0), cv::Vec3w(7, 7, 7));
    cv::Mat empty;
    blend_mono_bitmap(empty, MonoBitmap{&one, 1, 1, 1}, cv::Point(0, 0), kRed, 1.0f);
}

TEST(GlyphAdvance, BlankWidthOrBitmapWidthPlusGapTruncated)
{
    const cv::Scalar caption_size(40.0, 0.5, 0.1, 0.0);
    EXPECT_EQ(glyph_advance(0, caption_size), 24);
    EXPECT_EQ(glyph_advance(30, caption_size), 34);
    EXPECT_EQ(glyph_advance(0, cv::Scalar(15.0, 0.5, 0.1, 0.0)), 9);   // 7.5 + 1.5
    EXPECT_EQ(glyph_advance(10, cv::Scalar(15.0, 0.5, 0.1, 0.0)), 11); // 11.5 truncated
    EXPECT_EQ(glyph_advance(0, cv::Scalar(1e300, 1e300, 0.0, 0.0)), INT_MAX);
}

TEST(DecodeGbk, SplitsTextIntoCharacterCodes)
{
    std::vector<std::uint16_t> codes;
    EXPECT_EQ(decode_gbk("ab", codes), 2);
    EXPECT_EQ(codes, std::vector<std::uint16_t>({'a', 'b'}));

    EXPECT_EQ(decode_gbk(utf8_to_gbk(" 禁区 ").c_str(), codes), 6);
    EXPECT_EQ(codes, std::vector<std::uint16_t>({' ', 0x7981, 0x533A, ' '}));

    EXPECT_EQ(decode_gbk("", codes), 0);
    EXPECT_TRUE(codes.empty());
    EXPECT_EQ(decode_gbk(nullptr, codes), -1);
}

TEST(DecodeGbk, BadPairsKeepTheLeadByteAndStillSkipTheFollower)
{
    std::vector<std::uint16_t> codes;
    EXPECT_EQ(decode_gbk("\xFF" "Ab", codes), 3);
    EXPECT_EQ(codes, std::vector<std::uint16_t>({0xFFFF, 'b'}));
}

TEST(DecodeGbk, ALeadByteBeforeTheTerminatorReadsNoFurther)
{
    // Exactly sized on the heap, so that a read past the terminator is caught by the sanitizer build.
    const char bytes[] = {'a', '\xBD', '\0'};
    auto text = std::make_unique<char[]>(sizeof bytes);
    std::memcpy(text.get(), bytes, sizeof bytes);
    std::vector<std::uint16_t> codes;
    EXPECT_EQ(decode_gbk(text.get(), codes), 2);
    EXPECT_EQ(codes, std::vector<std::uint16_t>({'a'}));
}
