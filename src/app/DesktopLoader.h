#pragma once
#include <filesystem>
#include <string>
#include <vector>

namespace sondrel {

inline constexpr const char* kDesktopLibraryName = "libsondrel-desktop.so";

// Where the desktop library may lie, in the order tried: beside the executable (build tree,
// portable copy), then the installed library folder relative to it.
std::vector<std::filesystem::path> DesktopLibraryCandidates(const std::filesystem::path& exeDir,
                                                            const std::string& installedRelDir);

// Loads the desktop library and runs the window. Returns the program's exit status; a library
// that cannot be found or loaded is reported on stderr with status 1.
int LoadAndRunDesktop(int argc, char** argv);

}  // namespace sondrel
