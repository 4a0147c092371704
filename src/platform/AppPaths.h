#pragma once
#include <filesystem>
#include <string>

namespace tharvel {

// Where the program keeps its project file and log.
class AppPaths {
public:
    // The project file's name in the data directory.
    static constexpr const char* kProjectFileName = "Tharvel.ini";

    // The directory of the running executable (from /proc/self/exe).
    static std::filesystem::path executableDirectory();

    // The directory for the project file and the log: dataDirectoryFor() of the
    // running executable's directory.
    static std::filesystem::path dataDirectory();

    // $THARVEL_HOME when set; else `executableDir` when it already holds a
    // Tharvel.ini (a portable copy); else $XDG_CONFIG_HOME/tharvel (default
    // ~/.config/tharvel), created with mode 0700 when missing. An installed
    // program thus never writes into its own directory, even where it could.
    // Throws when no home directory can be found for the last case.
    static std::filesystem::path dataDirectoryFor(const std::filesystem::path& executableDir);

    // The executable's file name without its extension: the application title.
    // The desktop program "tharvel-desktop" is started as "tharvel" and carries
    // that title.
    static std::string applicationTitle();
};

}  // namespace tharvel
