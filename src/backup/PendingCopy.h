#pragma once
#include <atomic>
#include <filesystem>

namespace tharvel {

// A copy of one file whose contents, permission bits and modification time are
// written but which has no name yet: an unnamed file in the destination's directory
// (or, where the file system has none, a temporary name beside the destination).
// Commit gives it the destination's name; a copy that is never committed leaves
// nothing behind once it goes. Written on one thread, committed on another.
class PendingCopy {
public:
    PendingCopy() = default;  // nothing to commit: skipped or failed
    PendingCopy(PendingCopy&& other) noexcept;
    PendingCopy& operator=(PendingCopy&& other) noexcept;
    PendingCopy(const PendingCopy&) = delete;
    PendingCopy& operator=(const PendingCopy&) = delete;
    ~PendingCopy();

    // Writes the copy of `source` for `destination`. With `replace` false an existing
    // destination fails the copy (here when it exists already, or at the commit).
    // `halted`, when given, is read between chunks of a large file and abandons it.
    static PendingCopy write(const std::filesystem::path& source, const std::filesystem::path& destination,
                             bool replace, bool unnamedTemporary = true,
                             const std::atomic<bool>* halted = nullptr);

    bool ready() const { return fd_ >= 0 || !temp_.empty(); }

    // Gives the written copy the destination's name; false (destination as it was)
    // when it cannot. Once called the copy is no longer pending.
    bool commit(const std::filesystem::path& destination);

private:
    void discard();

    int fd_ = -1;                 // the unnamed file
    std::filesystem::path temp_;  // or the temporary name
    bool replace_ = false;
};

}  // namespace tharvel
