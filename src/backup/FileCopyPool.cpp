#include "backup/FileCopyPool.h"

#include <utility>

namespace tharvel {

FileCopyPool::FileCopyPool(unsigned workers, size_t capacity, Writer writer)
    : writer_(std::move(writer)), slots_(capacity ? capacity : 1) {
    try {
        workers_.reserve(workers ? workers : 1);
        for (unsigned i = 0; i < (workers ? workers : 1); ++i) workers_.emplace_back([this] { work(); });
    } catch (...) {
        halt();
        throw;
    }
}

void FileCopyPool::halt() {
    {
        std::lock_guard lock(mutex_);
        halted_ = true;
    }
    workReady_.notify_all();
    workers_.clear();  // joins
}

FileCopyPool::~FileCopyPool() {
    halt();
}

void FileCopyPool::Push(Task task) {
    bool wake;
    {
        std::lock_guard lock(mutex_);
        Slot& slot = slots_[tail_ % slots_.size()];
        slot.task = std::move(task);
        slot.copy = PendingCopy();
        slot.done = false;
        ++tail_;
        wake = idle_ > 0;
    }
    if (wake) workReady_.notify_one();
}

FileCopyPool::Task& FileCopyPool::Front(PendingCopy*& copy) {
    Slot& slot = slots_[head_ % slots_.size()];
    std::unique_lock lock(mutex_);
    ownerWaiting_ = true;
    frontDone_.wait(lock, [&] { return slot.done; });
    ownerWaiting_ = false;
    copy = &slot.copy;
    return slot.task;
}

void FileCopyPool::Pop() {
    std::lock_guard lock(mutex_);
    Slot& slot = slots_[head_ % slots_.size()];
    slot.copy = PendingCopy();
    slot.task = Task();
    ++head_;
}

void FileCopyPool::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
        workReady_.wait(lock, [&] { return halted_ || claimed_ < tail_; });
        --idle_;
        if (halted_) return;
        const uint64_t index = claimed_++;
        Slot& slot = slots_[index % slots_.size()];
        lock.unlock();
        // The slot is this worker's alone until it is marked done.
        PendingCopy copy;
        try {
            copy = writer_(slot.task, halted_);
        } catch (...) {
            // Out of memory for a path: that file is not copied, like any failed copy.
        }
        lock.lock();
        slot.copy = std::move(copy);
        slot.done = true;
        if (ownerWaiting_ && index == head_) frontDone_.notify_one();
    }
}

}  // namespace tharvel
