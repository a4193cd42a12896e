#include "session/IntervalInput.h"

namespace sondrel {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

IntervalInput ParseIntervalText(std::string_view text) {
    if (text.empty()) return {IntervalInput::Kind::Empty, 0};
    std::string_view digits = Trimmed(text);
    if (digits.empty()) return {IntervalInput::Kind::NotNumber, 0};
    uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return {IntervalInput::Kind::NotNumber, 0};
        // Past the range the exact value no longer matters; stop it from overflowing.
        if (value <= kMaxInterval) value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > kMaxInterval) return {IntervalInput::Kind::OutOfRange, 0};
    if (value == 0) return {IntervalInput::Kind::Zero, 0};
    return {IntervalInput::Kind::Value, static_cast<uint32_t>(value)};
}

}  // namespace sondrel
