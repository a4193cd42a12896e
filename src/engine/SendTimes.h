#pragma once
// When each request of a round left, by the host's place in the address array. The sender
// writes a place while it holds the modify_list gate; the owner reads it at any time to time
// a reply, so each place is an atomic and the array changes size only under the gate.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace sondrel {

class SendTimes {
public:
    // Under the gate: room for `count` places. Places keep no meaning across a change of the
    // array, so a new room starts unknown.
    void Resize(size_t count);
    // Wall-clock nanoseconds (the kernel's receive clock) at which place's request left, and
    // the tick it carried: an answer is timed only against the very request it echoes.
    void Set(size_t place, int64_t ns, uint32_t tick) noexcept;
    // 0: not known (never sent, out of range, or sent with another tick than `tick`).
    int64_t At(size_t place, uint32_t tick) const noexcept;
    size_t Size() const { return size_; }

private:
    struct Stamp {
        std::atomic<int64_t> ns{0};
        std::atomic<uint32_t> tick{0};
    };
    std::unique_ptr<Stamp[]> stamps_;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// A request sent in a batch is given its share of the batch's call as its send time. Over a
// short path its reply may come in during that call, a little before the share's start:
// a batch call longer than this is not shared out, and a reply earlier than its request by
// no more than this took no measurable time.
inline constexpr int64_t kBatchShareSlackNs = 2'000'000;

// The round-trip time in microseconds from a send time and a receive time, or -1 when they
// do not fit: either unknown, received before sent (beyond the slack above), or longer than
// the tick difference the request carried back allows (the tick runs from before the send to
// after the read, so only a step of the wall clock meanwhile makes the precise time the
// longer one).
int64_t PreciseRoundTripUs(int64_t sentNs, int64_t receivedNs, uint32_t tickRttMs);

}  // namespace sondrel
