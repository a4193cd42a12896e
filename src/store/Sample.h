#pragma once
// One ping result as the sample history keeps it.
#include <cstdint>
#include <string>

namespace sondrel {

struct Sample {
    int64_t timeMs = 0;  // request sent, Unix time in ms (UTC)
    int32_t rttUs = kLost;
    uint8_t icmpType = 0, icmpCode = 0;  // 0/0: echo reply (or lost)
    uint8_t ttl = 0;
    static constexpr int32_t kLost = -1;

    // Only an echo reply counts as an answer; an ICMP error means the host was not reached.
    bool Answered() const { return rttUs != kLost && icmpType == 0 && icmpCode == 0; }
    bool operator==(const Sample&) const = default;
};

struct HostSample {
    std::string host;  // address text
    Sample sample;
};

}  // namespace sondrel
