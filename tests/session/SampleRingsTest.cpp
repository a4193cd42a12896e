// Rings keep each host's newest samples in order and never pass their shared budget.
#include <gtest/gtest.h>

#include <vector>

#include "session/SampleRings.h"

namespace sondrel {
namespace {

Sample At(int64_t t) {
    return Sample{.timeMs = t, .rttUs = 5, .icmpType = 0, .icmpCode = 0, .ttl = 64};
}

std::vector<int64_t> Times(const SampleRings& rings, uint32_t host) {
    std::vector<int64_t> times;
    for (const Sample& s : rings.Of(host)) times.push_back(s.timeMs);
    return times;
}

TEST(SampleRings, NewestSamplesInOrderWithinTheBudget) {
    const struct {
        size_t budgetSamples, length, hosts, added;
        size_t keptFirst, keptLast;  // samples the first and the last host keep
    } cases[] = {
        {0, 3600, 1, 10, 0, 0},         // no budget: no rings
        {1000, 100, 1, 250, 100, 100},  // the length caps a ring, which goes round
        {1000, 3600, 1, 70, 70, 70},    // under both: all kept
        {128, 3600, 2, 100, 64, 64},    // the budget stops growth: each goes round at 64
        {64, 3600, 3, 10, 10, 0},       // a host that finds the budget spent gets none
    };
    for (const auto& c : cases) {
        SampleRings rings(c.budgetSamples * sizeof(Sample), c.length);
        for (size_t t = 0; t < c.added; ++t)
            for (uint32_t h = 1; h <= c.hosts; ++h) rings.Add(h, At(static_cast<int64_t>(t)));
        for (const auto& [host, kept] :
             {std::pair{1u, c.keptFirst}, std::pair{static_cast<uint32_t>(c.hosts), c.keptLast}}) {
            const auto times = Times(rings, host);
            ASSERT_EQ(times.size(), kept) << c.budgetSamples << "/" << c.length;
            for (size_t i = 0; i < times.size(); ++i)  // the newest, oldest first
                EXPECT_EQ(times[i], static_cast<int64_t>(c.added - kept + i));
        }
        EXPECT_LE(rings.BytesInUse(), c.budgetSamples * sizeof(Sample));
        rings.Remove(1);
        EXPECT_TRUE(rings.Of(1).empty());
    }
}

}  // namespace
}  // namespace sondrel
