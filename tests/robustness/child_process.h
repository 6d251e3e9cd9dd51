#pragma once
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

struct ChildResult {
    bool exited = false;     // ended through exit()
    int status = -1;         // its exit status
    int signal = 0;          // the signal that killed it, if any
    bool timed_out = false;  // killed by us after the time limit
    std::string out;
    std::string err;
};

// Runs argv with empty standard input, collecting its output. watch is called
// about every 50 ms with the child's pid while it runs; the child is killed
// after timeout_s seconds.
ChildResult run_child(const std::vector<std::string> &argv, int timeout_s,
                      const std::function<void(pid_t)> &watch = {});

// Resident memory of a running process in KiB (0 if it cannot be read).
long resident_kib(pid_t pid);

// Number of open file descriptors of a running process (-1 if it cannot be read).
int open_fds(pid_t pid);
