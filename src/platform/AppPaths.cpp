#include "platform/AppPaths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace tharvel {
namespace {

std::filesystem::path executablePath() {
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : path;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::filesystem::path userHome() {
    if (auto home = environment("HOME"); !home.empty()) return home;
    // Services and su shells may run without HOME; the password database still knows.
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        *found->pw_dir)
        return found->pw_dir;
    return {};
}

// Creates the missing parts of `dir` with mode 0700: the folder will hold passwords.
void createPrivateDirectories(const std::filesystem::path& dir) {
    std::filesystem::path partial;
    for (const auto& part : dir) {
        partial /= part;
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return;
    }
}

}  // namespace

std::filesystem::path AppPaths::executableDirectory() {
    auto path = executablePath();
    return path.empty() ? std::filesystem::current_path() : path.parent_path();
}

std::filesystem::path AppPaths::dataDirectory() {
    return dataDirectoryFor(executableDirectory());
}

std::filesystem::path AppPaths::dataDirectoryFor(const std::filesystem::path& executableDir) {
    if (auto home = environment("THARVEL_HOME"); !home.empty()) return home;
    std::error_code ec;
    if (std::filesystem::is_regular_file(executableDir / kProjectFileName, ec)) return executableDir;
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    std::filesystem::path config = environment("XDG_CONFIG_HOME");
    if (!config.is_absolute()) {
        auto home = userHome();
        if (home.empty())
            throw std::runtime_error("No home directory for the project file: set THARVEL_HOME");
        config = home / ".config";
    }
    auto dir = config / "tharvel";
    createPrivateDirectories(dir);
    return dir;
}

std::string AppPaths::applicationTitle() {
    auto path = executablePath();
    std::string title = path.empty() ? std::string() : path.stem().string();
    const std::string desktop = "-desktop";
    if (title.size() > desktop.size() && title.ends_with(desktop))
        title.resize(title.size() - desktop.size());
    return title.empty() ? "tharvel" : title;
}

}  // namespace tharvel
