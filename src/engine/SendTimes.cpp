#include "engine/SendTimes.h"

#include <algorithm>

namespace sondrel {

void SendTimes::Resize(size_t count) {
    if (count > capacity_) {
        capacity_ = std::max(count, capacity_ * 2);
        stamps_ = std::make_unique<Stamp[]>(capacity_);
    } else {
        // Room given back and taken again holds a departed host's stamps: forgotten, or a
        // reply could be timed against another host's request that carried the same tick.
        for (size_t place = size_; place < count; ++place) {
            stamps_[place].tick.store(0, std::memory_order_relaxed);
            stamps_[place].ns.store(0, std::memory_order_relaxed);
        }
    }
    size_ = count;
}

void SendTimes::Set(size_t place, int64_t ns, uint32_t tick) noexcept {
    if (place >= size_) return;
    // The time before the tick: a reader that finds the tick finds its time.
    stamps_[place].ns.store(ns, std::memory_order_relaxed);
    stamps_[place].tick.store(tick, std::memory_order_release);
}

int64_t SendTimes::At(size_t place, uint32_t tick) const noexcept {
    if (place >= size_ || stamps_[place].tick.load(std::memory_order_acquire) != tick) return 0;
    return stamps_[place].ns.load(std::memory_order_relaxed);
}

int64_t PreciseRoundTripUs(int64_t sentNs, int64_t receivedNs, uint32_t tickRttMs) {
    if (sentNs <= 0 || receivedNs <= 0) return -1;
    if (receivedNs < sentNs) return sentNs - receivedNs <= kBatchShareSlackNs ? 0 : -1;
    const int64_t us = (receivedNs - sentNs) / 1000;
    // Both ticks are truncated to the millisecond: one more, and one for slack.
    if (us > static_cast<int64_t>(tickRttMs) * 1000 + 2000) return -1;
    return us;
}

}  // namespace sondrel
