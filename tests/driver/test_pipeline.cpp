#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <regex>
#include <sstream>
#include <thread>

#include <opencv2/imgproc.hpp>

#include "driver/error_text.h"
#include "driver/exit_codes.h"
#include "driver/frame_pipeline.h"
#include "driver/video_output.h"
#include "driver/video_source.h"
#include "driver/stop_signal.h"
#include "tests/support/clips.h"
#include "tests/support/fake_detector.h"
#include "tests/support/run_helpers.h"
#include "tests/support/stalling_camera.h"

namespace {

class Pipeline : public testing::Test {
protected:
    void SetUp() override
    {
        fake::reset();
        clear_stop_request();
    }
    void TearDown() override { fake::reset(); }

    // Records the number carried by every frame the detector is given; every
    // `every`-th call also takes `pause`, so the work falls behind the decoder.
    void watch_frames(int every, std::chrono::milliseconds pause)
    {
        fake::on_detect([this, every, pause](int k, const qv_image &image) {
            const cv::Mat grey(image.height, image.width, CV_8UC1, image.data);
            seen.push_back(read_frame_number(grey));
            if (k % every == 0)
                std::this_thread::sleep_for(pause);
        });
    }

    TempDir dir;
    std::vector<int> seen;
};

// The count in "N frames of ... were dropped", or 0 when nothing was dropped.
int dropped_frames(const std::string &err)
{
    std::smatch m;
    return std::regex_search(err, m, std::regex("([0-9]+) frames of .* were dropped")) ? std::stoi(m[1]) : 0;
}

} // namespace

TEST_F(Pipeline, FramesAndConsoleLinesKeepTheirOrderAndNoneIsLost)
{
    // Frames big enough that the two encoders overtake each other unless writing keeps order.
    const std::string clip = write_numbered_clip(dir.file("in.avi"), 60, 1280, 720);
    // Call k reports object 100+k crossing the line: one event line per frame.
    std::vector<qv_result> results;
    for (int k = 0; k < 59; ++k) {
        qv_result result = fake::make_result(1);
        result.objects[0].id = 100 + k;
        result.objects[0].region_event[0] = QV_EVENT_CROSS_TWO_WAY;
        results.push_back(result);
    }
    fake::set_results(results);
    watch_frames(5, std::chrono::milliseconds(20));  // a file's decoder must wait, never drop
    RunOptions options = test_options(clip, dir.file("out.avi"));
    options.json_path = dir.file("frames.jsonl");
    const CapturedRun run = run_captured(options);
    ASSERT_EQ(run.status, kExitOk) << run.err;

    const std::vector<int> expected = numbers_from(1, 59);  // frame 0 only sets the size
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(read_frame_numbers(dir.file("out.avi")), expected);
    EXPECT_EQ(count_file_lines(options.json_path), 59);
    EXPECT_EQ(dropped_frames(run.err), 0) << run.err;

    // Console: each frame's detection time, then its event line, frame after frame.
    std::istringstream lines(run.out);
    std::vector<std::string> per_frame;
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("detect time:", 0) == 0 || line.rfind("obj ", 0) == 0)
            per_frame.push_back(line.substr(0, line.find(':')));
    ASSERT_EQ(per_frame.size(), 2u * 59) << run.out;
    for (int k = 0; k < 59; ++k) {
        EXPECT_EQ(per_frame[2 * k], "detect time");
        EXPECT_EQ(per_frame[2 * k + 1], "obj " + std::to_string(100 + k));
    }
}

TEST_F(Pipeline, LiveSourceDropsTheOldestWaitingFramesWhenTheWorkFallsBehind)
{
    StallingCamera camera(60);  // pictures 0..59 at once, then silence
    watch_frames(1, std::chrono::milliseconds(40));
    RunOptions options = test_options(camera.url(), dir.file("out.avi"));
    options.json_path = dir.file("frames.jsonl");
    const CapturedRun run = run_captured(options);
    ASSERT_EQ(run.status, kExitSourceLost) << run.err;
    EXPECT_NE(run.err.find("stopped delivering frames"), std::string::npos) << run.err;

    const int dropped = dropped_frames(run.err);
    EXPECT_GT(dropped, 0) << run.err;
    EXPECT_EQ(static_cast<int>(seen.size()) + dropped, 59) << run.err;
    ASSERT_FALSE(seen.empty());
    for (size_t i = 1; i < seen.size(); ++i)
        EXPECT_LT(seen[i - 1], seen[i]) << "frames out of order";
    EXPECT_EQ(seen.back(), 59);  // the oldest go, the newest stays
    EXPECT_EQ(read_frame_numbers(dir.file("out.avi")), seen);
    EXPECT_EQ(count_file_lines(options.json_path), static_cast<int>(seen.size()));
}

TEST_F(Pipeline, StopWhileWaitingForAStalledCameraClosesEverything)
{
    install_stop_handlers();
    StallingCamera camera(10);
    std::thread user;
    // Ctrl-C a second after the run got going, while it waits on the quiet camera.
    fake::on_detect([&](int k, const qv_image &) {
        if (k == 0)
            user = std::thread([] {
                std::this_thread::sleep_for(std::chrono::seconds(1));
                std::raise(SIGINT);
            });
    });
    RunOptions options = test_options(camera.url(), dir.file("out.avi"));
    options.json_path = dir.file("frames.jsonl");
    const CapturedRun run = run_captured(options);
    user.join();
    clear_stop_request();
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);

    EXPECT_EQ(run.status, 128 + SIGINT) << run.err;
    EXPECT_EQ(run.err.find("stopped delivering frames"), std::string::npos) << run.err;  // the stop ended it
    EXPECT_NE(run.out.find("aver time:"), std::string::npos);
    const int processed = fake::calls().detect;
    EXPECT_GT(processed, 0);
    EXPECT_EQ(count_readable_frames(dir.file("out.avi")), processed);
    EXPECT_EQ(count_file_lines(options.json_path), processed);
}

TEST_F(Pipeline, EachFrameKnowsItsPlaceInTheSource)
{
    const std::string clip = write_numbered_clip(dir.file("in.avi"), 12);  // 25 fps
    VideoSource source;
    ASSERT_EQ(source.open(clip), "");
    cv::Mat probe;
    ASSERT_TRUE(source.read(probe));
    VideoOutput output;
    ASSERT_EQ(output.open(dir.file("out.avi"), probe.size()), "");
    FramePipeline pipeline(source, &output, probe.size(), source.live(), 85);
    int taken = 0;
    while (FrameSlot *slot = pipeline.next()) {
        ++taken;
        EXPECT_NEAR(static_cast<double>(slot->video_ms), 40.0 * read_frame_number(slot->image()), 1.0);
        pipeline.finish(slot);
    }
    EXPECT_EQ(pipeline.close(), "");
    EXPECT_EQ(taken, 11);
    EXPECT_EQ(output.close(), "");
    EXPECT_EQ(read_frame_numbers(dir.file("out.avi")), numbers_from(1, 11));
}

// A decoder that throws stops the run with one stderr line, though OpenCV's own text ends in a newline.
TEST(ErrorText, LibraryErrorsBecomeOneLine)
{
    std::string what;
    try {
        cv::Mat empty, out;
        cv::resize(empty, out, cv::Size(2, 2));
    } catch (const cv::Exception &e) {
        what = e.what();
    }
    ASSERT_NE(what.find('\n'), std::string::npos) << "OpenCV's text has no line break to fold: " << what;
    const std::string line = one_line(what);
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    EXPECT_NE(line.find("in function 'resize'"), std::string::npos) << line;
    EXPECT_EQ(one_line("first\r\nsecond\n\n"), "first; second");
}
