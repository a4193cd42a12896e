#include "view/IntervalInput.h"

#include <gtest/gtest.h>

namespace sondrel {
namespace {

TEST(IntervalInput, TypedTextsAreTakenPromptedOrLeftAlone) {
    using K = IntervalInput::Kind;
    const struct { const char* text; K kind; uint32_t value; } cases[] = {
        {"3", K::Value, 3}, {"10000", K::Value, 10000}, {"1", K::Value, 1}, {" 7 ", K::Value, 7}, {"007", K::Value, 7},
        {"", K::Empty, 0}, {"0", K::Zero, 0}, {"000", K::Zero, 0}, {"10001", K::OutOfRange, 0},
        {"99999999999999999999999", K::OutOfRange, 0},  // no overflow back into range
        {"abc", K::NotNumber, 0}, {"-5", K::NotNumber, 0}, {"+5", K::NotNumber, 0}, {"1.5", K::NotNumber, 0},
        {"5s", K::NotNumber, 0}, {"   ", K::NotNumber, 0},
    };
    for (const auto& c : cases) {
        const IntervalInput in = ParseIntervalText(c.text);
        EXPECT_EQ(in.kind, c.kind) << '"' << c.text << '"';
        EXPECT_EQ(in.value, c.value) << '"' << c.text << '"';
    }
}

}  // namespace
}  // namespace sondrel
