#pragma once
#include <cstdio>
#include <filesystem>
#include <string>

namespace tharvel {

// "tharvel" without the unattended switch: hands the command line over to the
// desktop program, which lives beside it (a build or portable copy) or in the
// package's libexec folder. The desktop program links Qt; tharvel does not.
class DesktopLauncher {
public:
    static constexpr const char* kProgramName = "tharvel-desktop";

    // The desktop program that belongs to a tharvel in `executableDir`, or an empty
    // path when none is installed.
    static std::filesystem::path findDesktopProgram(const std::filesystem::path& executableDir);

    // True when the environment names a display or a Qt platform to open windows on.
    static bool displayAvailable();

    // Replaces the process by the desktop program with the same arguments; the
    // data directory is passed on as THARVEL_HOME so both programs agree on it.
    // Returns 1 only when that fails, after one line on `err`.
    static int exec(int argc, char** argv, std::FILE* err);

    // The one-line reasons, each naming the unattended switch.
    static std::string notInstalledMessage();
    static std::string noDisplayMessage();
    static std::string displayFailedMessage();
};

}  // namespace tharvel
