#pragma once
#include <cstdint>

// A reading of the run's high-resolution counter, in counter ticks.
int64_t counter_now();

// Ticks per second of the counter behind counter_now().
int64_t counter_frequency();

// Whole microseconds from start to end, truncated toward zero.
int32_t elapsed_us(int64_t start, int64_t end);
