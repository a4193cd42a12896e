#include <cstdio>

#include "app/Tools.h"

namespace sondrel {

// Placeholder until this mode is built.
int RunConsoleMonitor(std::span<char* const>) {
    std::fprintf(stderr, "sondrel: not built yet\n");
    return 2;
}

}  // namespace sondrel
