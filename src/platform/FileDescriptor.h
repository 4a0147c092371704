#pragma once
#include <unistd.h>

#include <string_view>
#include <utility>

namespace tharvel {

// Owns a file descriptor and closes it when it goes; -1 owns nothing.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// Writes all of `bytes` to `fd`, going on after a short or interrupted write.
// Returns 0 once all are written, else the errno of the write that failed (EIO for
// one that took nothing).
int writeAll(int fd, std::string_view bytes);

}  // namespace tharvel
