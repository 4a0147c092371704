#pragma once
#include <filesystem>

namespace tharvel {

// Where the program keeps its project file and log.
class AppPaths {
public:
    // The directory of the running executable (from /proc/self/exe).
    static std::filesystem::path executableDirectory();

    // The directory for the project file and the log: $THARVEL_HOME when set;
    // else the executable's directory when it is writable; else
    // $XDG_CONFIG_HOME/tharvel (default ~/.config/tharvel), created on demand.
    static std::filesystem::path dataDirectory();

    // The executable's file name without its extension: the application title.
    static std::string applicationTitle();
};

}  // namespace tharvel
