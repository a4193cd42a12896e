#pragma once
// A raw sample's reply packed into one integer column: NULL when lost, (rtt + 1) * 256 + ttl
// for an echo reply (three bytes on disk below 32 ms), and for an ICMP error the whole tuple
// as a negative number (rare, so its size does not matter).
#include <optional>

#include "store/Sample.h"

namespace sondrel {

inline std::optional<int64_t> EncodeReply(const Sample& s) {
    if (s.rttUs == Sample::kLost && s.icmpType == 0 && s.icmpCode == 0 && s.ttl == 0)
        return std::nullopt;
    const int64_t rtt = static_cast<int64_t>(s.rttUs) + 1;
    if (s.icmpType == 0 && s.icmpCode == 0) return rtt * 256 + s.ttl;
    return -((rtt << 24) | (int64_t{s.icmpType} << 16) | (int64_t{s.icmpCode} << 8) | s.ttl) - 1;
}

inline Sample DecodeReply(int64_t timeMs, std::optional<int64_t> reply) {
    Sample s;
    s.timeMs = timeMs;
    if (!reply) return s;
    int64_t v = *reply;
    if (v < 0) {
        v = -(v + 1);
        s.icmpType = static_cast<uint8_t>(v >> 16);
        s.icmpCode = static_cast<uint8_t>(v >> 8);
        s.ttl = static_cast<uint8_t>(v);
        s.rttUs = static_cast<int32_t>((v >> 24) - 1);
    } else {
        s.ttl = static_cast<uint8_t>(v & 0xff);
        s.rttUs = static_cast<int32_t>((v >> 8) - 1);
    }
    return s;
}

}  // namespace sondrel
