// Whole runs against the scripted detector: the event lines and the caption in the written video.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include "driver/console_text.h"
#include "tests/support/clips.h"
#include "tests/support/fake_detector.h"
#include "tests/support/run_helpers.h"
#include "tests/text/chinese_font.h"

namespace {

// Frames processed by the run: the clip's first frame only sizes the working images.
std::vector<qv_result> script()
{
    std::vector<qv_result> results(3, fake::make_result(2));
    results[1].objects[0].region_event[0] = QV_EVENT_ENTER;
    results[1].objects[1].region_event[0] = QV_EVENT_LEFT_OBJECT;
    results[1].objects[1].region_event[1] = QV_EVENT_LOITER; // a region that is not installed
    results[2].objects[0].region_event[0] = 7;
    return results;
}

// Strongly red pixels where the caption goes, in each frame of the written video.
std::vector<int> red_in_caption_place(const std::string &video)
{
    std::vector<int> counts;
    cv::VideoCapture capture(video);
    cv::Mat frame;
    while (capture.read(frame)) {
        int red = 0;
        const cv::Mat place = frame(cv::Rect(1500, 85, 400, 51));
        for (int y = 0; y < place.rows; ++y)
            for (int x = 0; x < place.cols; ++x) {
                const cv::Vec3b p = place.at<cv::Vec3b>(y, x);
                if (p[2] > 180 && p[1] < 90 && p[0] < 90)
                    ++red;
            }
        counts.push_back(red);
    }
    return counts;
}

class CaptionRun : public WithChineseFont {
protected:
    void SetUp() override
    {
        WithChineseFont::SetUp();
        fake::reset();
        clip = write_test_clip(dir.file("in.avi"), 4, 1920, 1080);
    }
    void TearDown() override { fake::reset(); }

    TempDir dir;
    std::string clip;
};

} // namespace

TEST_F(CaptionRun, EveryEventIsPrintedAndOnlyItsFrameCarriesTheCaption)
{
    fake::set_results(script());
    const CapturedRun run = run_captured(test_options(clip, dir.file("out.avi")));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(console_text("obj 0: 进入禁区\nobj 1: 丢包\n")), std::string::npos) << run.out;
    EXPECT_EQ(count_lines_starting(run.out, "obj "), 2) << run.out;
    EXPECT_EQ(run.err, "");

    const std::vector<int> red = red_in_caption_place(dir.file("out.avi"));
    ASSERT_EQ(red.size(), 3u);
    EXPECT_EQ(red[0], 0);
    EXPECT_GT(red[1], 300); // " 丢包 ": two glyphs of about 40 x 40
    EXPECT_EQ(red[2], 0);
}

TEST(CaptionRunWithoutFont, MissingFontIsOneNoteAndOnlyWhenACaptionIsDue)
{
    TempDir dir;
    const std::string clip = write_test_clip(dir.file("in.avi"), 4);
    RunOptions options = test_options(clip, dir.file("out.avi"));
    options.font_path = dir.file("missing.ttf");

    fake::reset();
    fake::set_results({fake::make_result(2)}); // no events at all
    const CapturedRun quiet = run_captured(options);
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "") << "the font was opened on frames without events";

    fake::reset();
    qv_result every_frame = fake::make_result(1);
    every_frame.objects[0].region_event[0] = QV_EVENT_ENTER;
    fake::set_results({every_frame});
    const CapturedRun noted = run_captured(options);
    EXPECT_EQ(noted.status, 0);
    EXPECT_EQ(count_lines_starting(noted.out, "obj 0: "), 3);
    EXPECT_EQ(count_lines_starting(noted.err, "qv_demo: alarm captions are off: "), 1) << noted.err;
    EXPECT_NE(noted.err.find("missing.ttf"), std::string::npos) << noted.err;
    fake::reset();
}
