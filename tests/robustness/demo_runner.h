#pragma once
#include <string>
#include <vector>

#include "tests/robustness/child_process.h"
#include "tests/support/clips.h"

// Runs the real qv_demo (with the real detector) quietly on input, writing output,
// with a line region that fits frames from 96x64 up.
ChildResult run_demo_binary(const std::string &input, const std::string &output,
                            const std::vector<std::string> &extra = {}, int timeout_s = 60,
                            const std::function<void(pid_t)> &watch = {});

// Number of "detect time" lines in a run's standard output.
int processed_frames(const ChildResult &run);

// Lines on standard error other than the note that the window is off.
int error_lines(const ChildResult &run);

// A watch for run_demo_binary: once ready() holds, waits delay_ms and sends the run SIGINT, once.
std::function<void(pid_t)> interrupt_once(std::function<bool()> ready, int delay_ms = 1000);
