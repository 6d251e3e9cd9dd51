#include <gtest/gtest.h>

#include <regex>

#include "tests/robustness/demo_runner.h"
#include "tests/support/clips.h"
#include "tests/support/stalling_camera.h"

TEST(Stream, ACameraThatStopsDeliveringEndsTheRunInOrder)
{
    TempDir dir;
    StallingCamera camera(60);
    const ChildResult run = run_demo_binary(camera.url(), dir.file("out.avi"), {}, 90);
    ASSERT_FALSE(run.timed_out) << run.err;
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 7) << run.err;  // lost mid-run: not reported as success
    EXPECT_GT(processed_frames(run), 0);
    EXPECT_NE(run.err.find("stopped delivering frames"), std::string::npos) << run.err;
    EXPECT_EQ(count_readable_frames(dir.file("out.avi")), processed_frames(run));

    // Every picture after the size-probing one was either processed or counted as dropped.
    std::smatch dropped;
    const bool any_dropped = std::regex_search(run.err, dropped, std::regex("([0-9]+) frames of .* were dropped"));
    EXPECT_EQ(processed_frames(run) + (any_dropped ? std::stoi(dropped[1]) : 0), 59) << run.err;
}
