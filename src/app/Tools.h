#pragma once
// Entry points of the sondrel executable's modes. The command-line tools need no display;
// main() picks one before any toolkit object exists.
#include <span>

namespace sondrel {

// sondrel --dump FILE.ipl
int RunDumpTool(std::span<char* const> args);
// sondrel --locate [--db FILE] ADDRESS...
int RunLocateTool(std::span<char* const> args);
// sondrel --export [--db FILE] [--host ADDR]... [--since T] [--until T]
//                  [--resolution raw|minute] [--format csv|json]
int RunExportTool(std::span<char* const> args);

}  // namespace sondrel

// The desktop program (defined with the Qt shell).
int RunDesktop(int argc, char** argv);
