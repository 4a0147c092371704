#include "platform/DesktopLauncher.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

#include "platform/AppPaths.h"

#ifndef THARVEL_DESKTOP_DIR
#error "THARVEL_DESKTOP_DIR comes from the build"
#endif

namespace tharvel {
namespace {

const char* const kUnattendedHint = "; for an unattended backup run: tharvel -BACKUP";

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

std::filesystem::path DesktopLauncher::findDesktopProgram(const std::filesystem::path& executableDir) {
    for (const auto& dir : {executableDir, executableDir / THARVEL_DESKTOP_DIR}) {
        auto candidate = (dir / kProgramName).lexically_normal();
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

bool DesktopLauncher::displayAvailable() {
    return !environment("DISPLAY").empty() || !environment("WAYLAND_DISPLAY").empty() ||
           !environment("QT_QPA_PLATFORM").empty();
}

int DesktopLauncher::exec(int argc, char** argv, std::FILE* err) {
    const auto program = findDesktopProgram(AppPaths::executableDirectory());
    if (program.empty()) {
        std::fprintf(err, "%s\n", notInstalledMessage().c_str());
        return 1;
    }
    if (!displayAvailable()) {
        std::fprintf(err, "%s\n", noDisplayMessage().c_str());
        return 1;
    }
    try {
        setenv("THARVEL_HOME", AppPaths::dataDirectory().c_str(), 1);
    } catch (const std::exception& error) {
        std::fprintf(err, "tharvel: %s\n", error.what());
        return 1;
    }
    std::string path = program.string();
    std::vector<char*> args{path.data()};
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    execv(path.c_str(), args.data());
    std::fprintf(err, "tharvel: cannot start %s: %s%s\n", path.c_str(), std::strerror(errno),
                 kUnattendedHint);
    return 1;
}

std::string DesktopLauncher::notInstalledMessage() {
    return std::string("tharvel: the desktop window (") + kProgramName + ") is not installed" +
           kUnattendedHint;
}

std::string DesktopLauncher::noDisplayMessage() {
    return std::string(
               "tharvel: no display for the desktop window (DISPLAY and WAYLAND_DISPLAY are not set)") +
           kUnattendedHint;
}

std::string DesktopLauncher::displayFailedMessage() {
    std::string what;
    if (auto platform = environment("QT_QPA_PLATFORM"); !platform.empty())
        what = "the window platform '" + platform + "'";
    else if (auto wayland = environment("WAYLAND_DISPLAY"); !wayland.empty())
        what = "the display '" + wayland + "'";
    else
        what = "the display '" + environment("DISPLAY") + "'";
    return "tharvel: the desktop window cannot open " + what + kUnattendedHint;
}

}  // namespace tharvel
