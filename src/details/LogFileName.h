#pragma once
// Names of the host logs that Save log writes.
#include <string>
#include <string_view>

namespace sondrel {

inline constexpr std::string_view kLogSuffix = ".log";

// The name proposed for a host's log: the host's text with every character that a file name
// cannot hold on any common system (path separators, ':', wildcards, quotes, control
// characters) replaced by '_', then ".log". "http://web.test/abc" -> "http___web.test_abc.log".
std::string ProposedLogName(std::string_view hostText);

// The chosen name with ".log" added unless it already ends in it (in any case: "x.LOG" stays).
std::string WithLogSuffix(std::string_view chosen);

}  // namespace sondrel
