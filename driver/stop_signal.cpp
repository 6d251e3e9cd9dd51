#include "driver/stop_signal.h"

#include <atomic>
#include <csignal>

namespace {
// A signal handler can only reach the run through a flag like this one. The run has several
// threads and the kernel hands the signal to any of them, so the flag is a lock-free atomic
// (safe in a handler) rather than a volatile, which orders nothing between threads.
std::atomic<int> g_stop_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the stop flag must be usable in a signal handler");

extern "C" void on_stop_signal(int signal_number)
{
    g_stop_signal = signal_number;
}
} // namespace

void install_stop_handlers()
{
    struct sigaction action = {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int stop_requested()
{
    return g_stop_signal;
}

void clear_stop_request()
{
    g_stop_signal = 0;
}
