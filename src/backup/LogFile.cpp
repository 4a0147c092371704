#include "backup/LogFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "platform/FileDescriptor.h"

namespace tharvel {

LogFile::LogFile(std::filesystem::path path, Clock clock) : path_(std::move(path)), clock_(std::move(clock)) {
    if (!clock_) clock_ = &LogFile::now;
    if (path_.empty()) return;
    std::error_code ec;
    auto parent = path_.parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
}

std::tm LogFile::now() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::string LogFile::stamp(const std::tm& local) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d  %02d:%02d:%02d", local.tm_mday, local.tm_mon + 1,
                  local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
    return buffer;
}

bool LogFile::writeLine(const std::string& text, bool stamped, std::vector<std::string>* written) {
    std::vector<std::string> lines;
    if (text.find("\r\n") == std::string::npos) {
        lines.push_back(text);
    } else {
        std::string line;
        for (size_t i = 0; i < text.size(); ++i) {
            char c = text[i];
            if (c == '\r' || c == '\n') {
                lines.push_back(std::move(line));
                line.clear();
                if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            } else {
                line += c;
            }
        }
        // A break at the very end adds no empty last line.
        if (!line.empty()) lines.push_back(std::move(line));
    }
    if (stamped) {
        std::string prefix = stamp(clock_()) + "  ";
        for (auto& line : lines) line.insert(0, prefix);
    }
    if (written) *written = lines;

    if (path_.empty()) return false;
    int fd = open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::string bytes;
    for (const auto& line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    int error = writeAll(fd, bytes);
    if (close(fd) != 0 && error == 0) error = errno;
    if (error != 0)
        throw std::system_error(error, std::generic_category(),
                                "Cannot write the log file '" + path_.string() + "'");
    return true;
}

}  // namespace tharvel
