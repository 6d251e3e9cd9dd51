// The caption on the frame: where it lands, which one wins, and what happens without a font.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "driver/alarm_caption.h"
#include "driver/console_text.h"
#include "driver/event_report.h"
#include "overlay/cvx_text.h"
#include "tests/text/chinese_font.h"

namespace {

const cv::Vec3b kCaptionRed(10, 10, 255);

cv::Mat grey_frame(int cols, int rows)
{
    return cv::Mat(rows, cols, CV_8UC3, cv::Scalar(90, 90, 90));
}

// The caption drawn straight with a renderer in the caption's style.
cv::Mat rendered(const std::string &font_path, const std::string &utf8)
{
    cv::Mat frame = grey_frame(1920, 1080);
    CvxText text(font_path);
    const cv::Scalar size(40.0, 0.5, 0.1, 0.0);
    text.setStyle(nullptr, &size, nullptr, nullptr);
    text.drawText(&frame, utf8_to_gbk(utf8).c_str(), cv::Point(1500, 135), cv::Scalar(10, 10, 255, 0));
    return frame;
}

bool same(const cv::Mat &a, const cv::Mat &b)
{
    return cv::norm(a, b, cv::NORM_INF) == 0.0;
}

} // namespace

using AlarmCaptionDrawing = WithChineseFont;

TEST_F(AlarmCaptionDrawing, CaptionLandsWhereItsGlyphsShould)
{
    AlarmCaption caption(""); // looked up as the program does
    ASSERT_TRUE(caption.enabled());
    cv::Mat frame = grey_frame(1920, 1080);
    caption.draw(frame, utf8_to_gbk(" 有目标闯入禁区 "));

    int top = frame.rows, bottom = -1, left = frame.cols, right = -1, red = 0;
    for (int y = 0; y < frame.rows; ++y)
        for (int x = 0; x < frame.cols; ++x) {
            const cv::Vec3b pixel = frame.at<cv::Vec3b>(y, x);
            if (pixel == cv::Vec3b(90, 90, 90))
                continue;
            ASSERT_EQ(pixel, kCaptionRed) << "at " << x << "," << y; // opaque: red or untouched
            ++red;
            top = std::min(top, y);
            bottom = std::max(bottom, y);
            left = std::min(left, x);
            right = std::max(right, x);
        }
    EXPECT_EQ(bottom, 135);
    EXPECT_GE(top, 135 - 48);
    // After the leading space (24 px), seven glyphs of 30 to 40 px, each followed by a 4-px gap.
    EXPECT_GE(left, 1524);
    EXPECT_LE(left, 1524 + 8);
    EXPECT_GE(right, 1524 + 6 * 34 + 29);
    EXPECT_LE(right, 1524 + 7 * 44);
    EXPECT_GT(red, 7 * 150);
    EXPECT_TRUE(same(frame, rendered(font_path, " 有目标闯入禁区 ")));
}

TEST_F(AlarmCaptionDrawing, FrameShowsTheCaptionOfItsLastEvent)
{
    auto result = std::make_unique<qv_result>();
    result->count = 2;
    result->objects[0].region_event[0] = QV_EVENT_ENTER;
    result->objects[1].region_event[0] = QV_EVENT_LEFT_OBJECT;
    const std::string text = report_events(*result, 1, nullptr);

    AlarmCaption caption(font_path);
    cv::Mat frame = grey_frame(1920, 1080);
    caption.draw(frame, text);
    EXPECT_TRUE(same(frame, rendered(font_path, " 丢包 ")));
    EXPECT_FALSE(same(frame, rendered(font_path, " 有目标闯入禁区 ")));
}

TEST(AlarmCaptionWithoutFont, NoChineseFontInstalledIsOneNoteAndNoCaptions)
{
    // A fontconfig set-up that knows no fonts at all stands for a machine without Chinese fonts.
    const std::string config = ::testing::TempDir() + "no_fonts.conf";
    std::FILE *file = std::fopen(config.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig></fontconfig>\n",
               file);
    std::fclose(file);
    const char *previous = std::getenv("FONTCONFIG_FILE");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("FONTCONFIG_FILE", config.c_str(), 1);

    ::testing::internal::CaptureStderr();
    AlarmCaption caption("");
    cv::Mat frame = grey_frame(1920, 1080);
    caption.draw(frame, utf8_to_gbk(" 丢包 "));
    const std::string note = ::testing::internal::GetCapturedStderr();

    if (previous != nullptr)
        setenv("FONTCONFIG_FILE", saved.c_str(), 1);
    else
        unsetenv("FONTCONFIG_FILE");
    std::remove(config.c_str());

    EXPECT_FALSE(caption.enabled());
    EXPECT_NE(note.find("alarm captions are off"), std::string::npos) << note;
    EXPECT_EQ(note.find('\n'), note.size() - 1) << "one note only: " << note;
    EXPECT_TRUE(same(frame, grey_frame(1920, 1080)));
}
