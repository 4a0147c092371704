#include "dump/DumpPool.h"

#include <chrono>

#include "dump/DumpSpool.h"
#include "dump/DumpStream.h"
#include "mysql/MySqlConnection.h"

namespace tharvel {

DumpPool::DumpPool(std::vector<std::unique_ptr<MySqlConnection>> connections,
                   std::filesystem::path spoolPrefix, size_t tasks, Work work, Kill kill)
    : connections_(std::move(connections)),
      spoolPrefix_(std::move(spoolPrefix)),
      work_(std::move(work)),
      kill_(std::move(kill)),
      slots_(std::make_unique<Slot[]>(tasks)),
      tasks_(tasks),
      busy_(connections_.size(), false) {
    for (const auto& c : connections_) threadIds_.push_back(c->threadId());
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

DumpPool::~DumpPool() {
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

size_t DumpPool::takeNext() {
    while (next_ < tasks_ && slots_[next_].state != State::Free) ++next_;
    if (cancel_ || next_ == tasks_) return tasks_;
    slots_[next_].state = State::Worker;
    return next_++;
}

bool DumpPool::runTask(size_t task, MySqlConnection& connection, const std::function<void(int)>& progress) {
    Slot& slot = slots_[task];
    std::unique_ptr<DumpSpool> spool;
    std::exception_ptr error;
    bool cancelled = false;
    try {
        std::filesystem::path file = spoolPrefix_;
        file += "." + std::to_string(task) + ".tmp";
        spool = std::make_unique<DumpSpool>(std::move(file));
        work_(task, connection, spool->stream(), progress);
        spool->close();
    } catch (const Cancelled&) {
        cancelled = true;
    } catch (...) {
        error = std::current_exception();
        // The lines before the failure stay, as they do in the dump itself.
        try {
            if (spool) spool->close();
        } catch (...) {
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        slot.spool = std::move(spool);
        slot.error = error;
        slot.state = State::Done;
    }
    done_.notify_all();
    return !cancelled && !error;
}

void DumpPool::run(size_t worker) {
    MySqlConnection& connection = *connections_[worker];
    for (;;) {
        size_t task;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            task = takeNext();
            if (task == tasks_) return;
            busy_[worker] = true;
        }
        std::atomic<int>& percent = slots_[task].percent;
        const bool ok = runTask(task, connection, [&](int p) {
            if (cancel_.load(std::memory_order_relaxed)) throw Cancelled();
            percent.store(p, std::memory_order_relaxed);
        });
        {
            std::lock_guard<std::mutex> lock(mutex_);
            busy_[worker] = false;
        }
        // After a failure the connection may be lost: the others take the rest.
        if (!ok) return;
    }
}

bool DumpPool::takeForCaller(size_t task) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slots_[task].state == State::Caller) return true;
    if (slots_[task].state != State::Free) return false;
    slots_[task].state = State::Caller;
    return true;
}

void DumpPool::join(size_t task, DumpStream& out, const std::function<void(int percent)>& tick,
                    MySqlConnection* caller) {
    Slot& slot = slots_[task];
    std::unique_lock<std::mutex> lock(mutex_);
    while (slot.state != State::Done) {
        if (caller) {
            // Rather than wait idle, read a later table ahead.
            const size_t ahead = takeNext();
            if (ahead != tasks_) {
                lock.unlock();
                std::atomic<int>& percent = slots_[ahead].percent;
                std::exception_ptr stop;
                const bool ok = runTask(ahead, *caller, [&](int p) {
                    percent.store(p, std::memory_order_relaxed);
                    try {
                        tick(slot.percent.load(std::memory_order_relaxed));
                    } catch (...) {
                        stop = std::current_exception();
                        throw Cancelled();
                    }
                });
                if (stop) std::rethrow_exception(stop);
                if (!ok) caller = nullptr;  // its failure shows at its turn; the connection may be lost
                lock.lock();
                continue;
            }
        }
        done_.wait_for(lock, std::chrono::milliseconds(200));
        lock.unlock();
        tick(slot.percent.load(std::memory_order_relaxed));
        lock.lock();
    }
    std::unique_ptr<DumpSpool> spool = std::move(slot.spool);
    std::exception_ptr error = slot.error;
    lock.unlock();
    if (spool) spool->appendTo(out);
    spool.reset();
    if (error) std::rethrow_exception(error);
}

}  // namespace tharvel
