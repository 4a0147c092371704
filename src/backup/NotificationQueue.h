#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "backup/JobNotification.h"

namespace tharvel {

// Carries a job's notifications to the main thread in the order they were pushed.
// The job pushes from its worker thread; its completion comes as a last entry with
// `jobDone` set, so whoever drains sees every notification of a job before its end.
// This queue and the job's stop flag are all that a job shares with the main thread.
class NotificationQueue {
public:
    struct Entry {
        bool jobDone = false;
        JobNotification note;
    };

    // Any thread. Runs the wake-up callback (if set) after adding the entry.
    void push(Entry entry);

    // Main thread: takes every entry queued so far, oldest first.
    std::deque<Entry> takeAll();

    // Blocks until an entry is queued or `timeout` passes; true when entries wait.
    bool waitForEntries(std::chrono::milliseconds timeout);

    // Called on the pushing thread, under the queue's lock, after each push: it must
    // only post a wake-up (for example a queued call into an event loop) and never
    // call back into the queue. Clearing it (an empty function) guarantees that no
    // call is made after setWakeup returns.
    void setWakeup(std::function<void()> wakeup);

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Entry> entries_;
    std::function<void()> wakeup_;
};

}  // namespace tharvel
