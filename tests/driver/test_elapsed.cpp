#include <gtest/gtest.h>

#include "driver/elapsed.h"

TEST(Elapsed, TruncatesTowardZeroInWholeMicroseconds)
{
    const int64_t f = counter_frequency();
    ASSERT_GT(f, 0);
    EXPECT_EQ(elapsed_us(0, f), 1000000);
    EXPECT_EQ(elapsed_us(100, 100), 0);
    // 1.999 us and -1.999 us truncate to 1 and -1.
    EXPECT_EQ(elapsed_us(0, f * 1999 / 1000000000), 1);
    EXPECT_EQ(elapsed_us(f * 1999 / 1000000000, 0), -1);
    // Large 64-bit readings keep their difference.
    const int64_t base = int64_t{1} << 60;
    EXPECT_EQ(elapsed_us(base, base + f / 1000), 1000);
}

TEST(Elapsed, CounterDoesNotGoBackwards)
{
    const int64_t a = counter_now();
    const int64_t b = counter_now();
    EXPECT_GE(b, a);
}
