#pragma once
// The millisecond tick count the engine stamps into requests and subtracts on replies.
#include <cstdint>

namespace sondrel {

// Milliseconds of the monotonic clock, truncated to 32 bits. It wraps about every 49.7
// days, so callers compare two ticks only through their unsigned difference.
uint32_t TickCount();

// The tick for a monotonic time stamp given in seconds and nanoseconds (exposed so the
// truncation can be checked without waiting weeks for a wrap).
uint32_t TickFromTime(int64_t seconds, int64_t nanoseconds);

// Milliseconds from `earlier` to `later`, correct across one wrap of the tick count.
// Nanoseconds of the wall clock (CLOCK_REALTIME): the clock the kernel stamps received
// packets with, so that a send time and a receive time can be subtracted.
int64_t WallClockNs();

inline uint32_t TickDifference(uint32_t later, uint32_t earlier) { return later - earlier; }

}  // namespace sondrel
