#include "tests/support/run_helpers.h"

#include <gtest/gtest.h>

#include <sstream>

#include "driver/run_demo.h"

namespace {
// Before any test opens a video, like the program does at start.
const bool backends_quiet = (quiet_video_backends(), true);
} // namespace

CapturedRun run_captured(const RunOptions &options)
{
    CapturedRun run;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    run.status = run_demo(options);
    std::fflush(stdout);
    run.out = testing::internal::GetCapturedStdout();
    run.err = testing::internal::GetCapturedStderr();
    return run;
}

RunOptions test_options(const std::string &input, const std::string &output)
{
    RunOptions options;
    options.input = input;
    options.output = output;
    options.show_window = false;
    options.pause_at_end = false;
    // A two-way line that fits the smallest test clip (64x48).
    qv_region line = default_region();
    line.points[0] = {30, 4};
    line.points[1] = {30, 40};
    options.regions = {line};
    return options;
}

int count_lines_starting(const std::string &text, const std::string &prefix)
{
    std::istringstream lines(text);
    int n = 0;
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(prefix, 0) == 0)
            ++n;
    return n;
}
