#pragma once
#include <cerrno>
#include <stdexcept>

namespace tharvel {

// A write of the dump file that failed, with the system's error number.
class StreamWriteError : public std::runtime_error {
public:
    explicit StreamWriteError(int error) : std::runtime_error("Stream write error"), error_(error) {}

    int error() const { return error_; }
    // The disk (or the user's quota) is full: nothing more fits.
    bool diskFull() const { return error_ == ENOSPC || error_ == EDQUOT; }

private:
    int error_;
};

}  // namespace tharvel
