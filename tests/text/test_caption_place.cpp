// The caption shows on every frame size, and stays up as long as asked.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "driver/alarm_caption.h"
#include "tests/support/clips.h"
#include "tests/support/fake_detector.h"
#include "tests/support/run_helpers.h"
#include "tests/text/chinese_font.h"

namespace {

// Strong red pixels (the caption's colour) in each frame of a video, and where they lie.
struct Red {
    int count = 0;
    cv::Rect bounds;
};

std::vector<Red> red_in(const std::string &video)
{
    std::vector<Red> frames;
    cv::VideoCapture capture(video);
    cv::Mat frame;
    while (capture.read(frame)) {
        Red red;
        std::vector<cv::Point> at;
        for (int y = 0; y < frame.rows; ++y)
            for (int x = 0; x < frame.cols; ++x) {
                const cv::Vec3b p = frame.at<cv::Vec3b>(y, x);
                if (p[2] > 180 && p[1] < 90 && p[0] < 90)
                    at.emplace_back(x, y);
            }
        red.count = static_cast<int>(at.size());
        if (!at.empty())
            red.bounds = cv::boundingRect(at);
        frames.push_back(red);
    }
    return frames;
}

} // namespace

TEST(CaptionPlace, DesignPlaceWhereItFitsScaledElsewhere)
{
    const CaptionPlace full = caption_place({1920, 1080}, 300);
    EXPECT_EQ(full.origin, cv::Point(1500, 135));
    EXPECT_EQ(full.pixel_size, 40);
    EXPECT_EQ(caption_place({3840, 2160}, 300).origin, cv::Point(1500, 135));

    const CaptionPlace small = caption_place({640, 480}, 300);
    EXPECT_EQ(small.pixel_size, 18);                      // 40 px per 1080 rows
    EXPECT_EQ(small.origin, cv::Point(500, 60));          // the same place relative to the frame
    const CaptionPlace narrow = caption_place({640, 480}, 500);  // 225 px at 18 px: pulled left to end inside
    EXPECT_EQ(narrow.origin.x, 640 - 225);
    EXPECT_EQ(caption_place({160, 120}, 300).pixel_size, 12);   // never too small to read
    // A caption too long for the design place on a full-size frame ends at the frame's edge.
    EXPECT_EQ(caption_place({1920, 1080}, 440).origin, cv::Point(1480, 135));
}

TEST(CaptionPlace, HoldKeepsTheLastCaptionForItsFrames)
{
    CaptionHold none(0);
    EXPECT_EQ(none.pick(0, "A"), "A");
    EXPECT_EQ(none.pick(1, ""), "");

    CaptionHold hold(2);
    EXPECT_EQ(hold.pick(0, ""), "");
    EXPECT_EQ(hold.pick(1, "A"), "A");
    EXPECT_EQ(hold.pick(2, ""), "A");
    EXPECT_EQ(hold.pick(3, "B"), "B");  // a newer caption replaces it and restarts the time
    EXPECT_EQ(hold.pick(4, ""), "B");
    EXPECT_EQ(hold.pick(5, ""), "B");
    EXPECT_EQ(hold.pick(6, ""), "");
}

class SmallFrameCaption : public WithChineseFont {
protected:
    void SetUp() override
    {
        WithChineseFont::SetUp();
        fake::reset();
    }
    void TearDown() override { fake::reset(); }
    TempDir dir;
};

TEST_F(SmallFrameCaption, ShowsWholeOnA640x480Frame)
{
    const std::string clip = write_test_clip(dir.file("in.avi"), 3, 640, 480);
    std::vector<qv_result> results(2, fake::make_result(1));
    results[0].objects[0].region_event[0] = QV_EVENT_LOITER;  // the longest caption
    fake::set_results(results);
    RunOptions options = test_options(clip, dir.file("out.avi"));
    ASSERT_EQ(run_captured(options).status, 0);

    const std::vector<Red> red = red_in(dir.file("out.avi"));
    ASSERT_EQ(red.size(), 2u);
    EXPECT_GT(red[0].count, 400);
    EXPECT_EQ(red[1].count, 0);
    // Near where the design puts it on a large frame, about 18 px tall, and not cut at the right edge.
    EXPECT_NEAR(red[0].bounds.br().y, 60, 2);
    EXPECT_GE(red[0].bounds.y, 60 - 22);
    EXPECT_GT(red[0].bounds.x, 380);
    EXPECT_LT(red[0].bounds.br().x, 640 - 4);
}

TEST_F(SmallFrameCaption, HoldsForTheGivenSeconds)
{
    const std::string clip = write_test_clip(dir.file("in.avi"), 9, 320, 240, 10.0);
    qv_result event = fake::make_result(1);
    event.objects[0].region_event[0] = QV_EVENT_ENTER;
    fake::set_results({fake::make_result(0), event, fake::make_result(0)});
    RunOptions options = test_options(clip, dir.file("out.avi"));
    options.caption_hold_s = 0.3;  // three more frames at 10 fps
    ASSERT_EQ(run_captured(options).status, 0);
    std::vector<bool> shown;
    for (const Red &r : red_in(dir.file("out.avi")))
        shown.push_back(r.count > 100);
    EXPECT_EQ(shown, (std::vector<bool>{false, true, true, true, true, false, false, false}));
}
