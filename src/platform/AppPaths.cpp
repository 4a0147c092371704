#include "platform/AppPaths.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace tharvel {
namespace {

std::filesystem::path executablePath() {
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : path;
}

}  // namespace

std::filesystem::path AppPaths::executableDirectory() {
    auto path = executablePath();
    return path.empty() ? std::filesystem::current_path() : path.parent_path();
}

std::filesystem::path AppPaths::dataDirectory() {
    if (const char* home = std::getenv("THARVEL_HOME"); home && *home) return home;
    auto exeDir = executableDirectory();
    if (access(exeDir.c_str(), W_OK) == 0) return exeDir;
    std::filesystem::path config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        config = xdg;
    } else if (const char* userHome = std::getenv("HOME"); userHome && *userHome) {
        config = std::filesystem::path(userHome) / ".config";
    } else {
        config = exeDir;
    }
    auto dir = config / "tharvel";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return dir;
}

std::string AppPaths::applicationTitle() {
    auto path = executablePath();
    std::string title = path.empty() ? std::string() : path.stem().string();
    return title.empty() ? "tharvel" : title;
}

}  // namespace tharvel
