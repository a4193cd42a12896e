#include "app/DesktopLoader.h"

#include <dlfcn.h>

#include <cstdio>

#include "platform/Paths.h"

#ifndef SONDREL_DESKTOP_LIBDIR
#define SONDREL_DESKTOP_LIBDIR "../lib/sondrel"
#endif

namespace sondrel {

std::vector<std::filesystem::path> DesktopLibraryCandidates(const std::filesystem::path& exeDir,
                                                            const std::string& installedRelDir) {
    return {exeDir / kDesktopLibraryName,
            (exeDir / installedRelDir / kDesktopLibraryName).lexically_normal()};
}

int LoadAndRunDesktop(int argc, char** argv) {
    using Entry = int (*)(int, char**);
    std::string errors;
    for (const auto& candidate :
         DesktopLibraryCandidates(ExecutableDir(), SONDREL_DESKTOP_LIBDIR)) {
        // Absolute paths only: a program given cap_net_raw must not load a library from a
        // search path the user controls.
        void* library = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            errors += std::string("\n  ") + ::dlerror();
            continue;
        }
        auto entry = reinterpret_cast<Entry>(::dlsym(library, "sondrel_run_desktop"));
        if (entry == nullptr) {
            errors += "\n  " + candidate.string() + ": no desktop entry point";
            continue;
        }
        // The library stays loaded until exit: the toolkit's objects outlive this call.
        return entry(argc, argv);
    }
    std::fprintf(stderr, "sondrel: cannot load the window (%s):%s\n", kDesktopLibraryName,
                 errors.c_str());
    return 1;
}

}  // namespace sondrel
