#include "input/AddressGroups.h"

#include "FakeResolver.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace sondrel {
namespace {

using test::Ip;

std::vector<std::uint32_t> Range(const std::string& prefix, int low, int high) {
    std::vector<std::uint32_t> addresses;
    for (int i = low; i <= high; ++i) {
        addresses.push_back(Ip((prefix + std::to_string(i)).c_str()));
    }
    return addresses;
}

TEST(PlanGroupTest, RangeRules) {
    struct Case {
        const char* start;
        const char* end;
        std::string refusal;
        std::vector<std::uint32_t> addresses;
        bool inputError;
    };
    const Case cases[] = {
        {"192.168.1.10", "192.168.1.5", "", Range("192.168.1.", 5, 10), false},
        {"192.168.1.250", "192.168.1.300", "", Range("192.168.1.", 250, 255), false},
        {"192.168.1.0", "192.168.1.255", "", Range("192.168.1.", 0, 255), false},
        {"192.168.1.7", "192.168.1.7", "", Range("192.168.1.", 7, 7), false},
        {"192.168.1.1", "192.168.2.1", "We limit to add a C-net. Ignored.", {}, false},
        // The prefix rule is textual: the same network written differently is refused.
        {"192.168.1.5", "192.168.01.9", "We limit to add a C-net. Ignored.", {}, false},
        {"a.b.c.1", "A.b.c.1", "We limit to add a C-net. Ignored.", {}, false},
        {"nodots", "10.0.0.1", "Input error.Ignored.", {}, false},
        {"10.0.0.1", "nodots", "Input error.Ignored.", {}, false},
        {"192.168.1.300", "192.168.1.400", "", {}, false},
        {"192.168.1.x", "192.168.1.2", "", Range("192.168.1.", 0, 2), false},
        {"192.168.1.-5", "192.168.1.2", "", Range("192.168.1.", 0, 2), false},
        {"192.168.1. 7", "192.168.1.8junk", "", Range("192.168.1.", 7, 8), false},
        {"192.168.1.99999999999", "192.168.1.254", "", Range("192.168.1.", 254, 255), false},
        {"a.b.c.1", "a.b.c.5", "", {}, true},
        // The last address of the whole space reads as "not an address" and stops the walk.
        {"255.255.255.250", "255.255.255.255", "", Range("255.255.255.", 250, 254), true},
        // Shorter dotted forms are what the C conversion makes of them.
        {"10.1.5", "10.1.6", "", {Ip("10.1.0.5"), Ip("10.1.0.6")}, false},
        {"", "10.0.0.1", "", {}, false},
        {"10.0.0.1", "", "", {}, false},
        {"10.0.0.", "10.0.0.", "", Range("10.0.0.", 0, 0), false},
    };
    for (const auto& c : cases) {
        const GroupPlan plan = PlanGroup(c.start, c.end);
        const std::string label = std::string(c.start) + " .. " + c.end;
        EXPECT_EQ(plan.refusal, c.refusal) << label;
        EXPECT_EQ(plan.addresses, c.addresses) << label;
        EXPECT_EQ(plan.stoppedByInputError, c.inputError) << label;
    }
}

TEST(ReadLikeAtoiTest, Table) {
    struct Case {
        const char* text;
        int value;
    };
    const Case cases[] = {
        {"12", 12},       {"  \t12", 12},     {"+7", 7},           {"-7", -7},
        {"12abc", 12},    {"abc", 0},         {"", 0},             {"- 5", 0},
        {"007", 7},       {"2147483647", INT_MAX}, {"2147483648", INT_MAX},
        {"-2147483648", INT_MIN}, {"-99999999999999999999", INT_MIN},
        {"99999999999999999999999", INT_MAX},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadLikeAtoi(c.text), c.value) << c.text;
    }
}

TEST(EndFieldPrefillTest, Table) {
    struct Case {
        const char* start;
        const char* prefill;
    };
    const Case cases[] = {
        {"192.168.1.10", "192.168.1."}, {"192.168.1.", "192.168.1."}, {"a.b", "a."},
        {"nodots", ""},                 {"", ""},                     {".", "."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EndFieldPrefill(c.start), c.prefill) << c.start;
    }
}

}  // namespace
}  // namespace sondrel
