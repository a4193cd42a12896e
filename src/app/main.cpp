#include <cstring>
#include <span>

#include "app/DesktopLoader.h"
#include "app/Tools.h"
#include "console/ConsoleMonitor.h"

int main(int argc, char** argv) {
    if (argc >= 2) {
        // Arguments after the mode's own flag.
        std::span<char* const> rest(argv + 2, static_cast<size_t>(argc - 2));
        if (std::strcmp(argv[1], "--dump") == 0) return sondrel::RunDumpTool(rest);
        if (std::strcmp(argv[1], "--locate") == 0) return sondrel::RunLocateTool(rest);
        if (std::strcmp(argv[1], "--export") == 0) return sondrel::RunExportTool(rest);
        if (std::strcmp(argv[1], "--console") == 0) return sondrel::RunConsoleMonitor(rest);
    }
    return sondrel::LoadAndRunDesktop(argc, argv);
}
