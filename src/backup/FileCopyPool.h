#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
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
        std::filesystem::path source;
        std::filesystem::path destination;
    };
    // Writes one task's copy; `halted` becomes true when the pool is going.
    using Writer = std::function<PendingCopy(const Task&, const std::atomic<bool>& halted)>;

    FileCopyPool(unsigned workers, size_t capacity, Writer writer);
    ~FileCopyPool();
    FileCopyPool(const FileCopyPool&) = delete;
    FileCopyPool& operator=(const FileCopyPool&) = delete;

    size_t capacity() const { return capacity_; }
    size_t free() const { return capacity_ - (staged_ - head_); }
    bool empty() const { return staged_ == head_; }

    // Adds a task; only while Free. Workers see added tasks at the next Publish or Front.
    void push(Task task);
    void publish();

    // The oldest task, once its copy is written; only while not Empty. Valid until Pop.
    Task& front(PendingCopy*& copy);
    void pop();

private:
    struct Slot {
        Task task;
        PendingCopy copy;
        std::atomic<bool> done{false};
    };

    Slot& slot(uint64_t index) { return slots_[index % capacity_]; }
    void work();
    void halt();

    const Writer writer_;
    const size_t capacity_;
    const unsigned workerCount_;
    std::unique_ptr<Slot[]> slots_;
    // The owner's alone: the oldest task and the end of the added ones.
    uint64_t head_ = 0;
    uint64_t staged_ = 0;
    std::mutex mutex_;
    std::condition_variable workReady_;
    std::condition_variable frontDone_;
    uint64_t published_ = 0;  // under mutex_: tasks the workers may take
    uint64_t claimed_ = 0;    // under mutex_: next task to give a worker
    unsigned idle_ = 0;       // under mutex_
    std::atomic<bool> ownerWaiting_{false};
    std::atomic<uint64_t> awaited_{0};
    std::atomic<bool> halted_{false};
    std::vector<std::jthread> workers_;
};

}  // namespace tharvel
