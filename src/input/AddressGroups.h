#pragma once
// Ranges of consecutive addresses inside one class C network, given as a start and an end text.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sondrel {

inline constexpr char kGroupInputErrorIgnored[] = "Input error.Ignored.";
inline constexpr char kGroupOneNetOnly[] = "We limit to add a C-net. Ignored.";
inline constexpr char kGroupInputError[] = "Input error.";

struct GroupPlan {
    // Set when the input is refused before any address is built; nothing is walked then.
    std::string refusal;
    // The addresses of the range in ascending order, up to the first text that did not
    // convert; network byte order.
    std::vector<std::uint32_t> addresses;
    // The walk stopped at a text that is not a dotted address ("Input error." after the
    // addresses above have been handled).
    bool stoppedByInputError = false;
};

// Applies the range rules: both texts need a "."; their prefixes (up to and including the
// last ".") must agree as text; the last parts are read like atoi, exchanged when reversed,
// clamped to 0..255; each address is the start prefix followed by the number ("%d").
// Empty texts give an empty plan without a refusal (the command ends silently).
GroupPlan PlanGroup(const std::string& startText, const std::string& endText);

// What the End IP field is filled with when it gains the focus: the start text up to and
// including its last "."; empty when there is nothing to fill (empty or no ".").
std::string EndFieldPrefill(std::string_view startText);

}  // namespace sondrel
