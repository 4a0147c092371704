#include "support/ProgramRun.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <stdexcept>

#include "support/TempDir.h"

extern char** environ;

namespace tharvel::test {
namespace {

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (auto& s : strings) p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

}  // namespace

ProgramResult runProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::string& stdoutFile) {
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) environment.emplace_back(*e);
    for (const auto& change : env) {
        const std::string name = change.substr(0, change.find('='));
        std::erase_if(environment, [&](const std::string& e) { return e.rfind(name + "=", 0) == 0; });
        if (change.find('=') != std::string::npos) environment.push_back(change);
    }
    TempDir capture("tharvel-run");
    const std::string outFile = stdoutFile.empty() ? (capture / "out").string() : stdoutFile;
    const std::string errFile = (capture / "err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> args = argv;
    auto argp = pointers(args);
    auto envp = pointers(environment);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ProgramResult result;
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    if (stdoutFile.empty()) result.out = readFile(outFile);
    result.err = readFile(errFile);
    return result;
}

std::vector<std::string> withoutDisplay() {
    return {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
}

}  // namespace tharvel::test
