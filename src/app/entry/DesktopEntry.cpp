// The one symbol the desktop library exports: the sondrel executable loads the library only
// when a window is wanted, so the command-line modes never pay for loading the toolkit.
#include "app/Tools.h"

extern "C" __attribute__((visibility("default"))) int sondrel_run_desktop(int argc, char** argv) {
    return RunDesktop(argc, argv);
}
