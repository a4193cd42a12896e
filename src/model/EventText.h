#pragma once
// The texts of a host's history: its fixed event texts and the time stamp line written
// before each event. The history and the record's compact line store both spell them.
#include <ctime>
#include <string>
#include <string_view>

namespace sondrel {

// Event texts (without their newline).
inline constexpr std::string_view kEventAdded = "added to list.";
inline constexpr std::string_view kEventRebuilt = "add to list.";
inline constexpr std::string_view kEventTimeout = "request timeout.";
inline constexpr std::string_view kEventRemoved = "removed from list.";
inline constexpr std::string_view kEventDropped = "older events were dropped.";

// "Www Mmm DD hh:mm:ss YYYY\n": English names whatever the locale, day with a leading zero.
std::string FormatTimeStamp(const std::tm& local);

}  // namespace sondrel
