#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/Clock.h"

namespace sondrel {
namespace {

TEST(ClockTest, TickFromTimeTruncatesToMillisecondsAndThirtyTwoBits) {
    struct Case {
        int64_t seconds;
        int64_t nanoseconds;
        uint32_t tick;
    };
    const Case cases[] = {
        {0, 0, 0},
        {0, 999'999, 0},            // below one millisecond
        {1, 999'999'999, 1999},     // nanoseconds truncate, never round
        {4294967, 295'000'000, 4294967295u},  // the last tick before the wrap
        {4294967, 296'000'000, 0},            // and the wrap itself
        {4294968, 0, 704},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TickFromTime(c.seconds, c.nanoseconds), c.tick) << c.seconds << "s " << c.nanoseconds << "ns";
}

TEST(ClockTest, TickCountAdvancesWithRealTime) {
    uint32_t before = TickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    uint32_t elapsed = TickDifference(TickCount(), before);
    EXPECT_GE(elapsed, 30u);
    EXPECT_LT(elapsed, 10'000u);
}

}  // namespace
}  // namespace sondrel
