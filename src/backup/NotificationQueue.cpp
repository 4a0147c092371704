#include "backup/NotificationQueue.h"

namespace tharvel {

void NotificationQueue::push(Entry entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(std::move(entry));
    ready_.notify_all();
    if (wakeup_) wakeup_();
}

std::deque<NotificationQueue::Entry> NotificationQueue::takeAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::deque<Entry> taken;
    taken.swap(entries_);
    return taken;
}

bool NotificationQueue::waitForEntries(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return ready_.wait_for(lock, timeout, [this] { return !entries_.empty(); });
}

void NotificationQueue::setWakeup(std::function<void()> wakeup) {
    std::lock_guard<std::mutex> lock(mutex_);
    wakeup_ = std::move(wakeup);
}

}  // namespace tharvel
