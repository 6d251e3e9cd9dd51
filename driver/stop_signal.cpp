#include "driver/stop_signal.h"

#include <csignal>

namespace {
// A signal handler can only reach the run through a flag like this one.
volatile std::sig_atomic_t g_stop_signal = 0;

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
