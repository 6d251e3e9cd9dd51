#pragma once
#include <string>

#include "driver/run_options.h"

struct CapturedRun {
    int status = -1;
    std::string out;   // standard output
    std::string err;   // standard error
};

// Runs run_demo with its console output captured.
CapturedRun run_captured(const RunOptions &options);

// Options for a quiet test run: no window, no pause, input and output as given,
// one two-way line from (30, 4) to (30, 40).
RunOptions test_options(const std::string &input, const std::string &output);

// Number of lines in text that start with prefix.
int count_lines_starting(const std::string &text, const std::string &prefix);
