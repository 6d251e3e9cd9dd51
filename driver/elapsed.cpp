#include "driver/elapsed.h"

#include <chrono>

using Clock = std::chrono::steady_clock;

int64_t counter_now()
{
    return static_cast<int64_t>(Clock::now().time_since_epoch().count());
}

int64_t counter_frequency()
{
    return static_cast<int64_t>(Clock::period::den / Clock::period::num);
}

int32_t elapsed_us(int64_t start, int64_t end)
{
    const double frequency = static_cast<double>(counter_frequency());
    // Subtract in integers first: large readings lose their low bits as doubles.
    const double us = static_cast<double>(end - start) * 1000000.0 / frequency;
    return static_cast<int32_t>(us);  // truncates toward zero
}
