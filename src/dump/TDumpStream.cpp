#include "dump/TDumpStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "dump/EStreamWrite.h"

namespace tharvel {
namespace {
constexpr size_t kFlushAt = 1 << 20;
}

TDumpStream::TDumpStream(const std::string& path) {
    // The dump holds the whole database: readable by its owner only.
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        int error = errno;
        std::error_code ignored;
        std::string full = std::filesystem::absolute(path, ignored).string();
        if (full.empty()) full = path;
        errno = error;
        throw std::runtime_error("Cannot create file \"" + full + "\". " + std::strerror(errno));
    }
    buffer_.reserve(kFlushAt + (64 << 10));
}

TDumpStream::~TDumpStream() {
    if (fd_ < 0) return;
    try {
        flush(lineStart_);
    } catch (...) {
    }
    ::close(fd_);
}

void TDumpStream::EndLine() {
    buffer_.append("\r\n", 2);
    lineStart_ = buffer_.size();
    if (lineStart_ >= kFlushAt) flush(lineStart_);
}

void TDumpStream::WriteLine(std::string_view text) {
    buffer_.append(text);
    EndLine();
}

void TDumpStream::WriteText(std::string_view text) {
    size_t zero = text.find('\0');
    if (zero != std::string_view::npos) text = text.substr(0, zero);
    if (text.empty()) {
        EndLine();
        return;
    }
    size_t pos = 0;
    while (pos < text.size()) {
        size_t brk = text.find_first_of("\r\n", pos);
        if (brk == std::string_view::npos) {
            WriteLine(text.substr(pos));
            return;
        }
        WriteLine(text.substr(pos, brk - pos));
        pos = brk + (text[brk] == '\r' && brk + 1 < text.size() && text[brk + 1] == '\n' ? 2 : 1);
    }
}

void TDumpStream::flush(size_t upTo) {
    size_t done = 0;
    while (done < upTo) {
        ssize_t n = ::write(fd_, buffer_.data() + done, upTo - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            int error = n < 0 ? errno : 0;
            buffer_.erase(0, done);
            lineStart_ -= done;
            throw EStreamWrite(error);
        }
        done += static_cast<size_t>(n);
    }
    buffer_.erase(0, upTo);
    lineStart_ -= upTo;
}

void TDumpStream::Close() {
    if (fd_ < 0) return;
    flush(lineStart_);
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw EStreamWrite(errno);
}

}  // namespace tharvel
