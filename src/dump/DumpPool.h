#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tharvel {

class DumpStream;
class MySqlConnection;
class DumpSpool;

// Tables dumped ahead of their turn on connections of their own. The tasks are
// numbered in the order of the file; each worker takes the next free one and writes
// it into a spool file ("<prefix>.<task>.tmp"). The thread that writes the file takes
// a task that is still free when its turn comes and writes it directly, or waits for
// the worker and joins its spool. The first task is always the caller's. Leaving the scope early (a failure,
// a stop) ends every worker: their connections are killed, the threads joined, the spools removed.
class DumpPool {
public:
    // Thrown by a task's progress when the task is to end early.
    struct Cancelled {};
    // Writes task `task` into `out` on `connection`, calling `progress` with its percent.
    using Work = std::function<void(size_t task, MySqlConnection& connection, DumpStream& out,
                                    const std::function<void(int percent)>& progress)>;
    // Ends the server's thread of a worker's connection.
    using Kill = std::function<void(uint32_t threadId)>;

    DumpPool(std::vector<std::unique_ptr<MySqlConnection>> connections, std::filesystem::path spoolPrefix,
             size_t tasks, Work work, Kill kill);
    ~DumpPool();
    DumpPool(const DumpPool&) = delete;
    DumpPool& operator=(const DumpPool&) = delete;

    // True when `task` was still free: it is now the caller's to write.
    bool takeForCaller(size_t task);
    // Waits for a task a worker took, calling `tick` with its percent every few
    // tenths of a second (it may throw to stop), appends its lines to `out` and
    // raises the worker's failure, if any, after the lines written before it.
    // Meanwhile free later tasks are read ahead on `caller` (when given) into spools.
    void join(size_t task, DumpStream& out, const std::function<void(int percent)>& tick,
              MySqlConnection* caller);

private:
    enum class State { Free, Worker, Caller, Done };
    struct Slot {
        State state = State::Free;
        std::unique_ptr<DumpSpool> spool;
        std::exception_ptr error;
        std::atomic<int> percent{0};
    };
    void run(size_t worker);
    // Writes a task this thread took into its spool and marks it done; false when it
    // failed or was cancelled.
    bool runTask(size_t task, MySqlConnection& connection, const std::function<void(int)>& progress);
    // The next free task, now taken, or tasks_; under the lock.
    size_t takeNext();

    std::vector<std::unique_ptr<MySqlConnection>> connections_;
    std::vector<uint32_t> threadIds_;
    std::filesystem::path spoolPrefix_;
    Work work_;
    Kill kill_;
    std::unique_ptr<Slot[]> slots_;
    size_t tasks_;

    std::mutex mutex_;
    std::condition_variable done_;
    size_t next_ = 0;
    std::vector<bool> busy_;
    std::atomic<bool> cancel_{false};
    std::vector<std::thread> threads_;  // last: joined before anything they use goes
};

}  // namespace tharvel
