#include <gtest/gtest.h>

#include "FakeResolver.h"
#include "input/AddressGroups.h"

namespace sondrel {
namespace {

using test::Ip;

std::vector<std::uint32_t> Range(const std::string& prefix, int low, int high) {
    std::vector<std::uint32_t> addresses;
    for (int i = low; i <= high; ++i) addresses.push_back(Ip((prefix + std::to_string(i)).c_str()));
    return addresses;
}

TEST(PlanGroupTest, RangeRules) {
    const std::string cNet = "We limit to add a C-net. Ignored.", input = "Input error.Ignored.";
    const struct {
        const char *start, *end;
        std::string refusal;
        std::vector<std::uint32_t> addresses;
        bool inputError = false;
    } cases[] = {
        {"192.168.1.10", "192.168.1.5", "", Range("192.168.1.", 5, 10)},
        {"192.168.1.1", "192.168.2.1", cNet, {}},
        {"192.168.1.250", "192.168.1.300", "", Range("192.168.1.", 250, 255)},
        {"192.168.1.7", "192.168.1.7", "", Range("192.168.1.", 7, 7)},
        // The prefix rule is textual: the same network written differently is refused.
        {"192.168.1.5", "192.168.01.9", cNet, {}},
        {"nodots", "10.0.0.1", input, {}},
        {"192.168.1.300", "192.168.1.400", "", {}},
        {"192.168.1.x", "192.168.1.2", "", Range("192.168.1.", 0, 2)},
        {"192.168.1. 7", "192.168.1.8junk", "", Range("192.168.1.", 7, 8)},
        {"192.168.1.99999999999", "192.168.1.254", "", Range("192.168.1.", 254, 255)},
        {"a.b.c.1", "a.b.c.5", "", {}, true},
        // The last address of the whole space reads as "not an address" and stops the walk.
        {"255.255.255.250", "255.255.255.255", "", Range("255.255.255.", 250, 254), true},
        {"10.1.5", "10.1.6", "", {Ip("10.1.0.5"), Ip("10.1.0.6")}},
        {"10.0.0.", "10.0.0.", "", Range("10.0.0.", 0, 0)},
    };
    for (const auto& c : cases) {
        const GroupPlan plan = PlanGroup(c.start, c.end);
        const std::string label = std::string(c.start) + " .. " + c.end;
        EXPECT_EQ(plan.refusal, c.refusal) << label;
        EXPECT_EQ(plan.addresses, c.addresses) << label;
        EXPECT_EQ(plan.stoppedByInputError, c.inputError) << label;
    }
}

}  // namespace
}  // namespace sondrel
