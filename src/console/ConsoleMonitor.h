#pragma once
// The monitor without a window: rounds over the hosts of the command line, their rows and
// events on standard output, until a round count or a signal ends it.
#include <span>

namespace sondrel {

// sondrel --console [--rounds N] [--interval S] [--quiet] [--events] [--store FILE] ... ARG...
int RunConsoleMonitor(std::span<char* const> args);

}  // namespace sondrel
