#include "web/Updater.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "platform/AppPaths.h"
#include "platform/FileDescriptor.h"
#include "web/HttpClient.h"
#include "web/MakerService.h"
#include "web/WebError.h"

namespace tharvel {
namespace {

// Starts program in a session of its own, reparented to init, so that it outlives
// this process. An exec failure is reported back through a close-on-exec pipe.
void startDetached(const std::filesystem::path& program) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
    FileDescriptor readEnd(pipeFds[0]);
    std::string path = program.string();
    pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFds[1]);
        throw std::system_error(errno, std::generic_category(), "fork");
    }
    if (child == 0) {
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
        ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
        char* argv[] = {path.data(), nullptr};
        ::execv(path.c_str(), argv);
        int error = errno;
        [[maybe_unused]] auto written = ::write(pipeFds[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    while ((got = ::read(readEnd.get(), &error, sizeof error)) < 0 && errno == EINTR) {
    }
    if (got == static_cast<ssize_t>(sizeof error))
        throw std::system_error(error, std::generic_category(), "Could not start " + path);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("Could not start " + path);
}

bool startsWithNoCase(const std::string& text, const char* prefix) {
    return strncasecmp(text.c_str(), prefix, std::strlen(prefix)) == 0;
}

}  // namespace

Updater::Updater(MakerService& maker) : maker_(maker), executableDirectory_(AppPaths::executableDirectory()) {
    platform_.startDetached = startDetached;
}

void Updater::removeStale() {
    std::error_code ignored;
    std::filesystem::remove(executableDirectory_ / kUpdaterFileName, ignored);
}

void Updater::downloadAndRun(const std::string& url) {
    // The program runs what it downloads: only over an authenticated connection.
    if (!startsWithNoCase(url, "https://"))
        throw WebError("The updater is only downloaded over a secure connection (https): " + url);
    std::string path = url.substr(0, url.find_first_of("?#"));
    std::string name = path.substr(path.find_last_of("/\\") + 1);
    if (name.empty() || name == "." || name == "..")
        throw WebError("The updater address names no file: " + url);
    std::filesystem::path target = executableDirectory_ / name;
    std::filesystem::path backup = target;
    backup.replace_extension(".BAK");
    std::filesystem::path partial = target;
    partial += ".part";

    std::error_code ignored;
    std::filesystem::remove(backup, ignored);
    if (std::filesystem::exists(target, ignored)) std::filesystem::rename(target, backup);

    try {
        FileDescriptor file(::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0700));
        if (file.get() < 0)
            throw std::system_error(errno, std::generic_category(), "Could not create " + partial.string());
        HttpClient::Options options;
        options.followRedirects = true;
        options.caFile = maker_.caFile();
        HttpClient client(options);
        client.get(maker_.insertTimestamp(url), [&](std::string_view piece) {
            if (int error = writeAll(file.get(), piece))
                throw std::system_error(error, std::generic_category(),
                                        "Could not write " + partial.string());
        });
        if (::fchmod(file.get(), 0755) != 0 || ::fsync(file.get()) != 0)
            throw std::system_error(errno, std::generic_category(), "Could not write " + partial.string());
        if (::close(file.release()) != 0)
            throw std::system_error(errno, std::generic_category(), "Could not write " + partial.string());
        std::filesystem::rename(partial, target);
    } catch (const WebError& error) {
        std::filesystem::remove(partial, ignored);
        if (error.httpStatus() == 404) maker_.sendToMaker("UpdateError", url, "Updater missing");
        if (error.httpStatus() != 0) return;
        throw;
    } catch (...) {
        std::filesystem::remove(partial, ignored);
        throw;
    }
    std::filesystem::remove(backup, ignored);
    platform_.startDetached(target);
    if (platform_.requestQuit) platform_.requestQuit();
}

}  // namespace tharvel
