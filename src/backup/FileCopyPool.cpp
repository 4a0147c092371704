#include "backup/FileCopyPool.h"

#include <algorithm>
#include <utility>

namespace tharvel {

FileCopyPool::FileCopyPool(unsigned workers, size_t capacity, Writer writer)
    : writer_(std::move(writer)),
      capacity_(std::max<size_t>(capacity, 1)),
      workerCount_(std::max(workers, 1u)),
      slots_(new Slot[capacity_]) {
    try {
        workers_.reserve(workerCount_);
        for (unsigned i = 0; i < workerCount_; ++i) workers_.emplace_back([this] { work(); });
    } catch (...) {
        halt();
        throw;
    }
}

FileCopyPool::~FileCopyPool() {
    halt();
}

void FileCopyPool::halt() {
    {
        std::lock_guard lock(mutex_);
        halted_ = true;
    }
    workReady_.notify_all();
    workers_.clear();  // joins
}

void FileCopyPool::push(Task task) {
    // A free slot: its last task was popped, so no worker holds it.
    Slot& s = slot(staged_++);
    s.task = std::move(task);
}

void FileCopyPool::publish() {
    bool wake;
    {
        std::lock_guard lock(mutex_);
        if (published_ == staged_) return;
        published_ = staged_;
        wake = idle_ > 0;
    }
    if (wake) workReady_.notify_all();
}

FileCopyPool::Task& FileCopyPool::front(PendingCopy*& copy) {
    Slot& s = slot(head_);
    if (!s.done.load(std::memory_order_acquire)) {
        publish();
        std::unique_lock lock(mutex_);
        awaited_ = head_;
        ownerWaiting_ = true;
        frontDone_.wait(lock, [&] { return s.done.load(); });
        ownerWaiting_ = false;
    }
    copy = &s.copy;
    return s.task;
}

void FileCopyPool::pop() {
    Slot& s = slot(head_++);
    s.copy = PendingCopy();
    s.task = Task();
    s.done.store(false, std::memory_order_relaxed);
}

void FileCopyPool::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
        workReady_.wait(lock, [&] { return halted_ || claimed_ < published_; });
        --idle_;
        if (halted_) return;
        // A few tasks at a time, fewer when little is waiting, so that the workers
        // share what there is.
        const uint64_t waiting = published_ - claimed_;
        const uint64_t take = std::clamp<uint64_t>(waiting / (2 * workerCount_), 1, 16);
        const uint64_t first = claimed_;
        claimed_ += take;
        lock.unlock();
        for (uint64_t index = first; index < first + take && !halted_; ++index) {
            // The slot is this worker's alone until it is marked done.
            Slot& s = slot(index);
            PendingCopy copy;
            try {
                copy = writer_(s.task, halted_);
            } catch (...) {
                // Out of memory for a path: that file is not copied, like any failed copy.
            }
            s.copy = std::move(copy);
            s.done.store(true);
            if (ownerWaiting_.load() && awaited_.load() == index) {
                std::lock_guard wake(mutex_);
                frontDone_.notify_one();
            }
        }
        lock.lock();
    }
}

}  // namespace tharvel
