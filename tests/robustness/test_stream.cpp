#include <gtest/gtest.h>

#include <regex>

#include "tests/robustness/demo_runner.h"
#include "tests/support/clips.h"
#include "tests/support/stalling_camera.h"
#include "driver/reconnect_backoff.h"

#include <chrono>
#include <csignal>
#include <thread>

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

// With --reconnect a camera that hangs up is opened again (after 1 s, then 2 s ...) and the run
// goes on with the same detector; both the loss and the recovery are said on stderr.
TEST(Stream, ReconnectOpensALostCameraAgainAndGoesOn)
{
    TempDir dir;
    StallingCamera camera(30, 2);
    const ChildResult run = run_demo_binary(camera.url(), dir.file("out.avi"), {"--reconnect"}, 90, [&](pid_t pid) {
        static bool sent = false;
        if (camera.connections_served() >= 2 && !sent) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            kill(pid, SIGINT);
            sent = true;
        }
    });
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_NE(run.err.find("stopped delivering frames; reconnecting in 1 s"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("input reconnected after 1 tries"), std::string::npos) << run.err;
    EXPECT_GT(processed_frames(run), 0) << run.err;
    EXPECT_EQ(count_readable_frames(dir.file("out.avi")), processed_frames(run));
}

TEST(Stream, ReconnectWaitsLongerEachTimeUpToHalfAMinute)
{
    std::vector<int> delays;
    for (int attempt = 0; attempt < 8; ++attempt)
        delays.push_back(reconnect_delay_s(attempt));
    EXPECT_EQ(delays, (std::vector<int>{1, 2, 4, 8, 16, 30, 30, 30}));
}
