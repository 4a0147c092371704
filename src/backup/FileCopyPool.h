#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "backup/PendingCopy.h"

namespace tharvel {

// Writes copies on a few worker threads, ahead of the thread that owns the pool,
// which takes them back in the order it handed them out and commits them itself.
// At most `capacity` copies are handed out or waiting at any time, so neither the
// work nor the open files grow with the tree. The workers are joined when the pool
// goes; copies still pending then are discarded and leave nothing behind.
class FileCopyPool {
public:
    struct Task {
        std::string source;
        std::string destination;
    };
    // Writes one task's copy; `halted` becomes true when the pool is going.
    using Writer = std::function<PendingCopy(const Task&, const std::atomic<bool>& halted)>;

    FileCopyPool(unsigned workers, size_t capacity, Writer writer);
    ~FileCopyPool();
    FileCopyPool(const FileCopyPool&) = delete;
    FileCopyPool& operator=(const FileCopyPool&) = delete;

    bool Full() const { return tail_ - head_ == slots_.size(); }
    bool Empty() const { return tail_ == head_; }

    // Hands out a task; only while not Full.
    void Push(Task task);

    // The oldest task handed out, once its copy is written; only while not Empty.
    // Valid until Pop.
    Task& Front(PendingCopy*& copy);
    void Pop();

private:
    struct Slot {
        Task task;
        PendingCopy copy;
        bool done = false;
    };

    void work();
    void halt();

    const Writer writer_;
    std::vector<Slot> slots_;
    // Only the owner's thread changes head_ and tail_; workers read tail_ under the lock.
    uint64_t head_ = 0;
    uint64_t tail_ = 0;
    std::mutex mutex_;
    std::condition_variable workReady_;
    std::condition_variable frontDone_;
    uint64_t claimed_ = 0;  // next task to give a worker
    unsigned idle_ = 0;
    bool ownerWaiting_ = false;
    std::atomic<bool> halted_{false};
    std::vector<std::jthread> workers_;  // last: joined first when the pool goes
};

}  // namespace tharvel
