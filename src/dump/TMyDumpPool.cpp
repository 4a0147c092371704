#include "dump/TMyDumpPool.h"

#include <chrono>

#include "dump/TDumpStream.h"
#include "dump/TMyDumpSpool.h"
#include "mysql/TMyConnection.h"

namespace tharvel {

TMyDumpPool::TMyDumpPool(std::vector<std::unique_ptr<TMyConnection>> connections, std::string spoolPrefix,
                         size_t tasks, Work work, Kill kill)
    : connections_(std::move(connections)),
      spoolPrefix_(std::move(spoolPrefix)),
      work_(std::move(work)),
      kill_(std::move(kill)),
      slots_(std::make_unique<Slot[]>(tasks)),
      tasks_(tasks),
      busy_(connections_.size(), false) {
    for (const auto& c : connections_) threadIds_.push_back(c->ThreadId());
    // The first table is the caller's at once: it needs no spool.
    if (tasks_ > 0) slots_[0].state = State::Caller;
    try {
        for (size_t i = 0; i < connections_.size(); ++i) threads_.emplace_back([this, i] { run(i); });
    } catch (...) {
        cancel_ = true;
        for (std::thread& t : threads_) t.join();
        throw;
    }
}

TMyDumpPool::~TMyDumpPool() {
    std::vector<uint32_t> busy;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancel_ = true;
        for (size_t i = 0; i < busy_.size(); ++i)
            if (busy_[i]) busy.push_back(threadIds_[i]);
    }
    // A worker in the middle of a table would read the rest of it first.
    for (uint32_t id : busy) {
        try {
            if (kill_) kill_(id);
        } catch (...) {
        }
    }
    for (std::thread& t : threads_) t.join();
}

void TMyDumpPool::run(size_t worker) {
    TMyConnection& connection = *connections_[worker];
    for (;;) {
        size_t task;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            while (next_ < tasks_ && slots_[next_].state != State::Free) ++next_;
            if (cancel_ || next_ == tasks_) return;
            task = next_++;
            slots_[task].state = State::Worker;
            busy_[worker] = true;
        }
        Slot& slot = slots_[task];
        std::unique_ptr<TMyDumpSpool> spool;
        std::exception_ptr error;
        bool stopped = false;
        try {
            spool = std::make_unique<TMyDumpSpool>(spoolPrefix_ + "." + std::to_string(task) + ".tmp");
            work_(task, connection, spool->stream(), slot.percent, cancel_);
            spool->Close();
        } catch (const Cancelled&) {
            stopped = true;
        } catch (...) {
            error = std::current_exception();
            // The lines before the failure stay, as they do in the dump itself.
            try {
                if (spool) spool->Close();
            } catch (...) {
            }
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            slot.spool = std::move(spool);
            slot.error = error;
            slot.state = State::Done;
            busy_[worker] = false;
        }
        done_.notify_all();
        // After a failure the connection may be lost: the others take the rest.
        if (stopped || error) return;
    }
}

bool TMyDumpPool::TakeForCaller(size_t task) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slots_[task].state == State::Caller) return true;
    if (slots_[task].state != State::Free) return false;
    slots_[task].state = State::Caller;
    return true;
}

void TMyDumpPool::Join(size_t task, TDumpStream& out, const std::function<void(int percent)>& tick) {
    Slot& slot = slots_[task];
    std::unique_lock<std::mutex> lock(mutex_);
    while (slot.state != State::Done) {
        done_.wait_for(lock, std::chrono::milliseconds(200));
        lock.unlock();
        tick(slot.percent.load(std::memory_order_relaxed));
        lock.lock();
    }
    std::unique_ptr<TMyDumpSpool> spool = std::move(slot.spool);
    std::exception_ptr error = slot.error;
    lock.unlock();
    if (spool) spool->AppendTo(out);
    spool.reset();
    if (error) std::rethrow_exception(error);
}

}  // namespace tharvel
