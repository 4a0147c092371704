#pragma once

namespace tharvel {

// The desktop program: creates the long-lived windows (main window, then the About
// and contact windows) and runs the event loop until the main window closes.
class DesktopStart {
public:
    static int run(int argc, char** argv);
};

}  // namespace tharvel
