#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <tuple>

#include "platform/Clock.h"

namespace sondrel {
namespace {

TEST(ClockTest, TicksAreMillisecondsTruncatedToThirtyTwoBitsAndAdvance) {
    const std::tuple<int64_t, int64_t, uint32_t> cases[] = {
        {0, 999'999, 0},
        {1, 999'999'999, 1999},  // nanoseconds truncate, never round
        {4294967, 295'000'000, 4294967295u},
        {4294967, 296'000'000, 0},
        {4294968, 0, 704},  // the wrap
    };
    for (auto [s, ns, tick] : cases)
        EXPECT_EQ(TickFromTime(s, ns), tick) << s << "s " << ns << "ns";
    const uint32_t before = TickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const uint32_t elapsed = TickDifference(TickCount(), before);
    EXPECT_TRUE(elapsed >= 30 && elapsed < 10'000) << elapsed;
}

}  // namespace
}  // namespace sondrel
