#include "tests/robustness/demo_runner.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <memory>
#include <thread>

#include <sstream>

ChildResult run_demo_binary(const std::string &input, const std::string &output,
                            const std::vector<std::string> &extra, int timeout_s,
                            const std::function<void(pid_t)> &watch)
{
    std::vector<std::string> argv = {QV_DEMO_PATH, "-i", input, "-o", output, "--no-window", "--no-pause"};
    if (std::find(extra.begin(), extra.end(), "-r") == extra.end())
        argv.insert(argv.end(), {"-r", "3:40,5,40,60"});
    argv.insert(argv.end(), extra.begin(), extra.end());
    return run_child(argv, timeout_s, watch);
}

int processed_frames(const ChildResult &run)
{
    std::istringstream lines(run.out);
    int n = 0;
    for (std::string line; std::getline(lines, line);)
        n += line.rfind("detect time:", 0) == 0;
    return n;
}

int error_lines(const ChildResult &run)
{
    std::istringstream lines(run.err);
    int n = 0;
    for (std::string line; std::getline(lines, line);)
        n += line.rfind("qv_demo: window off", 0) != 0;
    return n;
}

std::function<void(pid_t)> interrupt_once(std::function<bool()> ready, int delay_ms)
{
    auto sent = std::make_shared<bool>(false);
    return [ready = std::move(ready), delay_ms, sent](pid_t pid) {
        if (*sent || !ready())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
        kill(pid, SIGINT);
        *sent = true;
    };
}
