#include <gtest/gtest.h>

#include "engine/SendTimes.h"

namespace sondrel {
namespace {

TEST(SendTimesTest, RoomTakenAgainForgetsEarlierStamps) {
    SendTimes times;
    times.Resize(4);
    times.Set(2, 1'000, 7);
    ASSERT_EQ(times.At(2, 7), 1'000);
    // A host left the list and the later ones moved up: the same room, other hosts.
    times.Resize(0);
    times.Resize(3);
    EXPECT_EQ(times.At(2, 7), 0);
    // Growing by one keeps what is there and starts the new place unknown.
    times.Set(1, 2'000, 9);
    times.Resize(4);
    EXPECT_EQ(times.At(1, 9), 2'000);
    EXPECT_EQ(times.At(3, 0), 0);
}

TEST(SendTimesTest, RoundTripsThatDoNotFitAreRefused) {
    struct Case {
        int64_t sent, received;
        uint32_t tickMs;
        int64_t us;
    } cases[] = {
        {1'000'000, 1'250'000, 0, 250},     // within the tick's slack
        {0, 1'250'000, 0, -1},              // send time unknown
        {2'000'000, 1'000'000, 0, 0},       // in during its batch's call: no time
        {4'000'000, 1'000'000, 0, -1},      // well before it left: a clock step
        {1'000'000, 5'000'000'000, 3, -1},  // a wall-clock step: far longer than the ticks say
    };
    for (const Case& c : cases)
        EXPECT_EQ(PreciseRoundTripUs(c.sent, c.received, c.tickMs), c.us) << c.sent;
}

}  // namespace
}  // namespace sondrel
