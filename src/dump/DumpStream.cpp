#include "dump/DumpStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "dump/StreamWriteError.h"

namespace tharvel {
namespace {
constexpr size_t kFlushAt = 1 << 20;
}

// The dump holds the whole database: readable by its owner only.
DumpStream::DumpStream(const std::filesystem::path& path, Compression compression)
    : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600)) {
    if (fd_.get() < 0) {
        int error = errno;
        std::error_code ignored;
        std::string full = std::filesystem::absolute(path, ignored).string();
        if (full.empty()) full = path.string();
        errno = error;
        throw std::runtime_error("Cannot create file \"" + full + "\". " + std::strerror(errno));
    }
    buffer_.reserve(kFlushAt + (64 << 10));
    // The file is written on a thread of its own, compressed or not, one buffer
    // behind the lines being made.
    compressor_ = DumpCompressor::createWriter(compression, fd_.get());
    plain_ = compression == Compression::None;
    pending_.reserve(buffer_.capacity());
    worker_ = std::thread([this] { compressLoop(); });
}

DumpStream::~DumpStream() {
    if (fd_.get() < 0) return;
    try {
        flush(lineStart_);
    } catch (...) {
    }
    finishCompressing();
}

void DumpStream::endLine() {
    buffer_.append("\r\n", 2);
    lineStart_ = buffer_.size();
    if (lineStart_ >= kFlushAt) flush(lineStart_);
}

void DumpStream::writeLine(std::string_view text) {
    buffer_.append(text);
    endLine();
}

void DumpStream::writeText(std::string_view text) {
    size_t zero = text.find('\0');
    if (zero != std::string_view::npos) text = text.substr(0, zero);
    if (text.empty()) {
        endLine();
        return;
    }
    size_t pos = 0;
    while (pos < text.size()) {
        size_t brk = text.find_first_of("\r\n", pos);
        if (brk == std::string_view::npos) {
            writeLine(text.substr(pos));
            return;
        }
        writeLine(text.substr(pos, brk - pos));
        pos = brk + (text[brk] == '\r' && brk + 1 < text.size() && text[brk + 1] == '\n' ? 2 : 1);
    }
}

void DumpStream::appendFile(int fd) {
    if (buffer_.size() != lineStart_) throw std::logic_error("A line is open");
    if (plain_) {
        // The writer must have written everything before the file takes bytes beside it.
        handOver(lineStart_);
        waitUntilWritten();
        for (;;) {
            ssize_t n = ::copy_file_range(fd, nullptr, fd_.get(), nullptr, size_t{1} << 30, 0);
            if (n == 0) return;
            if (n > 0) continue;
            if (errno == EINTR) continue;
            if (errno == ENOSPC || errno == EDQUOT || errno == EIO || errno == EFBIG)
                throw StreamWriteError(errno);
            break;  // a file system or kernel without it: the bytes go through the writer
        }
    }
    // The writer gets the same pieces as when the lines are written one by one (a
    // piece ends at the first line end at or past the flush size), so a compressed
    // file has the same bytes too.
    std::string chunk(kFlushAt, '\0');
    for (;;) {
        ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw StreamWriteError(errno);
        if (n == 0) break;
        buffer_.append(chunk.data(), static_cast<size_t>(n));
        while (buffer_.size() >= kFlushAt) {
            size_t end = buffer_.find("\r\n", std::max(lineStart_, kFlushAt - 2));
            if (end == std::string::npos) break;
            lineStart_ = end + 2;
            flush(lineStart_);
        }
    }
    if (buffer_.size() > lineStart_ && (buffer_.size() - lineStart_ < 2 || !buffer_.ends_with("\r\n")))
        throw std::logic_error("A file of lines ends inside a line");
    lineStart_ = buffer_.size();
}

void DumpStream::flush(size_t upTo) {
    handOver(upTo);
}

void DumpStream::handOver(size_t upTo) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !hasPending_ || failed_; });
    if (failed_) throw StreamWriteError(writeErrno_);
    if (upTo == 0) return;
    // The finished lines go over in the buffer they are in; the open line's bytes
    // come back into the buffer the thread handed back.
    pending_.swap(buffer_);
    buffer_.assign(pending_, upTo);
    pending_.resize(upTo);
    lineStart_ -= upTo;
    hasPending_ = true;
    changed_.notify_all();
}

void DumpStream::waitUntilWritten() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return (!hasPending_ && !writing_) || failed_; });
    if (failed_) throw StreamWriteError(writeErrno_);
}

void DumpStream::compressLoop() {
    // Sized like the buffers it swaps with, without reading them outside the lock.
    std::string work;
    work.reserve(kFlushAt + (64 << 10));
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return hasPending_ || finishing_; });
            if (!hasPending_) break;
            work.swap(pending_);
            hasPending_ = false;
            writing_ = !failed_;
            changed_.notify_all();
            if (failed_) {
                work.clear();
                continue;
            }
        }
        try {
            compressor_->write(work);
        } catch (const StreamWriteError& e) {
            std::lock_guard<std::mutex> lock(mutex_);
            failed_ = true;
            writeErrno_ = e.error();
            changed_.notify_all();
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex_);
            failed_ = true;
            changed_.notify_all();
        }
        work.clear();
        std::lock_guard<std::mutex> lock(mutex_);
        writing_ = false;
        changed_.notify_all();
    }
    bool ok = false;
    try {
        if (!failed_) {
            compressor_->finish();
            ok = true;
        }
    } catch (const StreamWriteError& e) {
        writeErrno_ = e.error();
    } catch (...) {
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!ok) failed_ = true;
}

bool DumpStream::finishCompressing() {
    if (!worker_.joinable()) return !failed_;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finishing_ = true;
        changed_.notify_all();
    }
    worker_.join();
    return !failed_;
}

void DumpStream::close() {
    if (fd_.get() < 0) return;
    flush(lineStart_);
    const bool compressed = finishCompressing();
    FileDescriptor file(fd_.release());
    if (!compressed) throw StreamWriteError(writeErrno_);
    if (::close(file.release()) != 0) throw StreamWriteError(errno);
}

}  // namespace tharvel
