#include "platform/Clock.h"

#include <ctime>

namespace sondrel {

uint32_t TickFromTime(int64_t seconds, int64_t nanoseconds) {
    // Unsigned arithmetic: the product may exceed 32 bits, and only its low bits matter.
    uint64_t ms =
        static_cast<uint64_t>(seconds) * 1000u + static_cast<uint64_t>(nanoseconds / 1000000);
    return static_cast<uint32_t>(ms);
}

int64_t WallClockNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

uint32_t TickCount() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return TickFromTime(ts.tv_sec, ts.tv_nsec);
}

}  // namespace sondrel
