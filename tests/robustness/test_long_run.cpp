#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "tests/robustness/demo_runner.h"
#include "tests/support/clips.h"

// 2001 frames of 1080p: resident memory must stay flat once the run has warmed up.
TEST(LongRun, ResidentMemoryStaysFlatOver2001Frames)
{
#ifdef QV_SANITIZED
    GTEST_SKIP() << "memory figures are taken in the normal build; the sanitizer build checks leaks elsewhere";
#endif
    TempDir dir;
    const std::string input = dir.file("long.mp4");
    const ChildResult encode = run_child({"/usr/bin/ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                                          "testsrc2=size=1920x1080:rate=25", "-frames:v", "2002", "-c:v", "libx264",
                                          "-preset", "ultrafast", "-pix_fmt", "yuv420p", input},
                                         600);
    ASSERT_TRUE(encode.exited && encode.status == 0) << encode.err;

    const std::string json = dir.file("frames.jsonl");
    long at_200 = 0, peak_after = 0, at_end = 0;
    std::string samples;  // RSS every 200 frames, to tell a plateau from a leak
    int last_seen = 0;
    const ChildResult run = run_demo_binary(
        input, dir.file("out.avi"), {"--json", json, "-r", "3:1200,450,1200,700"}, 900, [&](pid_t pid) {
            const int lines = count_file_lines(json);
            if (lines == last_seen)
                return;
            last_seen = lines;
            const long rss = resident_kib(pid);
            if (rss == 0)
                return;
            if (lines / 200 > int(std::count(samples.begin(), samples.end(), ' ')))
                samples += std::to_string(lines) + ":" + std::to_string(rss) + " ";
            if (lines >= 200 && at_200 == 0)
                at_200 = rss;
            else if (at_200 != 0)
                peak_after = std::max(peak_after, rss);
            at_end = rss;
        });
    ASSERT_TRUE(run.exited) << run.err;
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(processed_frames(run), 2001);
    ASSERT_GT(at_200, 0);
    // Growth is judged from frame 200 to the end; a caption frame's renderer may lift the
    // peak for a moment while it has the font loaded, and that is reported, not judged.
    const long growth = at_end - at_200;
    std::printf("resident memory: %ld KiB at frame 200, %ld KiB at the end, growth %ld KiB, peak %ld KiB\n",
                at_200, at_end, growth, peak_after);
    std::printf("frame:KiB samples %s\n", samples.c_str());
    EXPECT_LT(growth, 2048);
}
