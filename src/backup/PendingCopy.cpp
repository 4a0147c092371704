#include "backup/PendingCopy.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "platform/FileDescriptor.h"

namespace tharvel {
namespace {

bool isHalted(const std::atomic<bool>* halted) {
    return halted && halted->load(std::memory_order_relaxed);
}

bool fallbackErrno(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EPERM ||
           error == EBADF;
}

bool readWriteCopy(int in, int out, off_t offset, const std::atomic<bool>* halted) {
    if (lseek(in, offset, SEEK_SET) < 0 || lseek(out, offset, SEEK_SET) < 0) return false;
    std::vector<char> buffer(256 * 1024);
    for (;;) {
        if (isHalted(halted)) return false;
        ssize_t got = read(in, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (got == 0) return true;
        if (writeAll(out, std::string_view(buffer.data(), static_cast<size_t>(got))) != 0) return false;
    }
}

// Copies all of `in` to `out`: copy_file_range, else sendfile, else read and write.
bool copyContents(int in, int out, off_t size, const std::atomic<bool>* halted) {
    // Chunks small enough that a halt is seen within a fraction of a second.
    const size_t most = halted ? size_t{16} << 20 : size_t{1} << 30;
    off_t copied = 0;
    bool useRange = true;
    bool useSendfile = true;
    for (;;) {
        if (isHalted(halted)) return false;
        size_t chunk = size > copied ? static_cast<size_t>(size - copied) : (1u << 20);
        if (chunk > most) chunk = most;
        ssize_t n;
        if (useRange) {
            n = copy_file_range(in, nullptr, out, nullptr, chunk, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && copied == 0 && fallbackErrno(errno)) {
                useRange = false;
                continue;
            }
            // A file system that reports nothing for a non-empty file (some virtual
            // ones do) gets the plain copy.
            if (n == 0 && copied == 0 && size > 0) return readWriteCopy(in, out, 0, halted);
        } else if (useSendfile) {
            n = sendfile(out, in, nullptr, chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && copied == 0 && fallbackErrno(errno)) {
                useSendfile = false;
                continue;
            }
        } else {
            return readWriteCopy(in, out, copied, halted);
        }
        if (n < 0) return false;
        if (n == 0) return true;
        copied += n;
    }
}

// Contents, then permission bits and times of `st` onto `out`.
bool fillCopy(int in, int out, const struct stat& st, const std::atomic<bool>* halted) {
    // Reserving the blocks first keeps a large copy in few extents; the size stays as
    // written, so a source that shrinks meanwhile gets no zero tail. Where the file
    // system cannot reserve, the copy goes on without.
    if (st.st_size >= (off_t{1} << 20)) (void)fallocate(out, FALLOC_FL_KEEP_SIZE, 0, st.st_size);
    if (!copyContents(in, out, st.st_size, halted)) return false;
    if (fchmod(out, st.st_mode & 07777) != 0) return false;
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    return futimens(out, times) == 0;
}

}  // namespace

PendingCopy::PendingCopy(PendingCopy&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), temp_(std::move(other.temp_)), replace_(other.replace_) {
    other.temp_.clear();
}

PendingCopy& PendingCopy::operator=(PendingCopy&& other) noexcept {
    if (this != &other) {
        discard();
        fd_ = std::exchange(other.fd_, -1);
        temp_ = std::move(other.temp_);
        other.temp_.clear();
        replace_ = other.replace_;
    }
    return *this;
}

PendingCopy::~PendingCopy() {
    discard();
}

void PendingCopy::discard() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
}

PendingCopy PendingCopy::write(const std::filesystem::path& source, const std::filesystem::path& destination,
                               bool replace, bool unnamedTemporary, const std::atomic<bool>* halted) {
    PendingCopy copy;
    copy.replace_ = replace;
    struct stat existing;
    if (!replace && lstat(destination.c_str(), &existing) == 0) return copy;

    // O_NONBLOCK so that a named pipe in the tree cannot hang the job; it is then
    // refused as not a regular file (on which the flag has no effect).
    FileDescriptor in(open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.get() < 0) return copy;
    struct stat st;
    if (fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) return copy;

    const std::filesystem::path directory = destination.parent_path();

    // Preferred: an unnamed file in the destination's directory; a crash leaves
    // nothing behind.
    static const bool haveProcFd = access("/proc/self/fd", X_OK) == 0;
    if (unnamedTemporary && haveProcFd) {
        FileDescriptor out(
            open(directory.empty() ? "." : directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
        if (out.get() >= 0) {
            if (fillCopy(in.get(), out.get(), st, halted)) copy.fd_ = out.release();
            return copy;
        }
    }

    // File systems without unnamed files: a named temporary file.
    std::string temp = (directory / ".tharvel-copy-XXXXXX").native();
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    int outFd = mkostemp(name.data(), O_CLOEXEC);
    if (outFd < 0) return copy;
    temp = name.data();
    bool ok;
    {
        FileDescriptor out(outFd);
        ok = fillCopy(in.get(), out.get(), st, halted);
        ok = close(out.release()) == 0 && ok;
    }
    if (ok)
        copy.temp_ = std::move(temp);
    else
        unlink(temp.c_str());
    return copy;
}

bool PendingCopy::commit(const std::filesystem::path& destination) {
    if (fd_ >= 0) {
        FileDescriptor out(std::exchange(fd_, -1));
        const std::string self = "/proc/self/fd/" + std::to_string(out.get());
        if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, destination.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST || !replace_) return false;
        // Replacing: a temporary name beside the destination, then renamed over it.
        const std::filesystem::path directory = destination.parent_path();
        thread_local uint64_t counter = 0;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::filesystem::path temp =
                directory / (".tharvel-copy-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
            if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                if (rename(temp.c_str(), destination.c_str()) == 0) return true;
                unlink(temp.c_str());
                return false;
            }
            if (errno != EEXIST) return false;
        }
        return false;
    }
    if (temp_.empty()) return false;
    const std::filesystem::path temp = std::move(temp_);
    temp_.clear();
    bool ok;
    bool tempLeft = true;
    if (replace_) {
        ok = rename(temp.c_str(), destination.c_str()) == 0;
        tempLeft = !ok;
    } else if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0) {
        ok = true;
        tempLeft = false;
    } else if (errno == EINVAL || errno == ENOSYS) {
        // File systems without the no-replace rename: a hard link fails when the name exists.
        ok = link(temp.c_str(), destination.c_str()) == 0;
    } else {
        ok = false;
    }
    if (tempLeft) unlink(temp.c_str());
    return ok;
}

}  // namespace tharvel
