#pragma once
// The interval box: what a text typed into it means. The box takes an unsigned whole number
// of seconds; a number outside 0..10000 gets the range prompt, anything else that is not a
// number the number prompt; 0 is never taken.
#include <cstdint>
#include <string_view>

namespace sondrel {

inline constexpr uint32_t kMinInterval = 1;
inline constexpr uint32_t kMaxInterval = 10000;
inline constexpr uint32_t kDefaultInterval = 3;

struct IntervalInput {
    enum class Kind {
        Empty,       // nothing typed (the user is retyping): left alone
        NotNumber,   // number prompt
        OutOfRange,  // range prompt
        Zero,        // refused silently
        Value,
    };
    Kind kind = Kind::Empty;
    uint32_t value = 0;  // for Value
};

// Blanks around the digits are allowed; a sign is not.
IntervalInput ParseIntervalText(std::string_view text);

// Whether an interval read from a list file may be armed.
inline bool IsUsableInterval(uint32_t seconds) {
    return seconds >= kMinInterval && seconds <= kMaxInterval;
}

// Prompts shown for refused input.
inline constexpr const char* kIntervalNumberPrompt = "Please enter an unsigned integer.";
inline constexpr const char* kIntervalRangePrompt = "Please enter a number between 0 and 10000.";

// The prompt a refused input gets: the number prompt for an emptied box or any text that is
// not a number, the range prompt for a number too large, none for 0 or a taken value.
inline const char* PromptFor(IntervalInput::Kind kind) {
    switch (kind) {
        case IntervalInput::Kind::Empty:
        case IntervalInput::Kind::NotNumber:
            return kIntervalNumberPrompt;
        case IntervalInput::Kind::OutOfRange:
            return kIntervalRangePrompt;
        default:
            return nullptr;
    }
}

}  // namespace sondrel
