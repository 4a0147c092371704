#include <cstdio>

#ifdef THARVEL_HAVE_GUI
#include "ui/DesktopStart.h"
#endif

int main(int argc, char** argv) {
    // The unattended run is dispatched above this point, so it never needs a display.
#ifdef THARVEL_HAVE_GUI
    return tharvel::DesktopStart::run(argc, argv);
#else
    (void)argc;
    (void)argv;
    std::puts("Tharvel 1.1: built without the desktop window; use -BACKUP.");
    return 0;
#endif
}
