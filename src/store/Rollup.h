#pragma once
// The per-minute summary of one host's samples.
#include <cstdint>
#include <optional>
#include <vector>

namespace sondrel {

struct MinuteSummary {
    int64_t sent = 0, lost = 0;
    // Absent when nothing was answered. Microseconds; median of an even count and mean are
    // rounded down.
    std::optional<int64_t> min, median, max, mean;
    bool operator==(const MinuteSummary&) const = default;
};

// rtts: the round-trip times of the answered samples (reordered); sent: all samples.
MinuteSummary Summarise(std::vector<int32_t>& rtts, int64_t sent);

}  // namespace sondrel
