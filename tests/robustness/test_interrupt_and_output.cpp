#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/robustness/demo_runner.h"
#include "tests/support/clips.h"

TEST(Interrupt, SignalsEndTheRunWithEverythingClosed)
{
    TempDir dir;
    const std::string clip = write_test_clip(dir.file("long.avi"), 900, 640, 480);
    for (const int signal_number : {SIGINT, SIGTERM}) {
        const std::string json = dir.file("frames" + std::to_string(signal_number) + ".jsonl");
        bool sent = false;
        // The JSON file is flushed per frame: once it has a few lines the run is under way.
        const ChildResult run = run_demo_binary(clip, dir.file("out.avi"), {"--json", json}, 120, [&](pid_t pid) {
            if (!sent && count_file_lines(json) >= 5) {
                kill(pid, signal_number);
                sent = true;
            }
        });
        ASSERT_TRUE(sent);
        ASSERT_TRUE(run.exited) << run.err;
        EXPECT_EQ(run.status, 128 + signal_number);
        EXPECT_NE(run.out.find("aver time:"), std::string::npos);
        const int processed = processed_frames(run);
        EXPECT_GE(processed, 5);
        EXPECT_LT(processed, 899);
        EXPECT_EQ(count_readable_frames(dir.file("out.avi")), processed);
        EXPECT_EQ(count_file_lines(json), processed);
    }
}

TEST(OutputTrouble, UnwritablePlacesGiveAMessageAndStatusFour)
{
    TempDir dir;
    const std::string clip = write_test_clip(dir.file("in.avi"), 6, 96, 64);
    // Root ignores folder permissions; /proc takes no new files from anyone.
    const std::string read_only = geteuid() == 0 ? std::string("/proc/qv_out.avi") : [&] {
        mkdir(dir.file("ro").c_str(), 0555);
        return dir.file("ro/out.avi");
    }();
    for (const std::string &output : {dir.file("missing/out.avi"), read_only, std::string("/dev/full")}) {
        const ChildResult run = run_demo_binary(clip, output);
        ASSERT_TRUE(run.exited);
        EXPECT_EQ(run.status, 4) << output;
        EXPECT_NE(run.err.find(output), std::string::npos) << run.err;
    }
    for (const std::string &json : {dir.file("missing/f.jsonl"), std::string("/dev/full")}) {
        const ChildResult run = run_demo_binary(clip, dir.file("out.avi"), {"--json", json});
        ASSERT_TRUE(run.exited);
        EXPECT_EQ(run.status, 4) << json;
        EXPECT_NE(run.err.find(json), std::string::npos) << run.err;
    }
}
