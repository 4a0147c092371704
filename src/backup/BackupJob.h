#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "backup/DirectoryCopy.h"
#include "backup/NotificationQueue.h"
#include "projects/BackupProject.h"

namespace tharvel {

// One project's backup on a worker thread of its own: the database step, then the
// copy step. It reports only by pushing notifications to its queue, and pushes a
// job-done entry after its body ends, so the run sees the end after every
// notification. Shared with the main thread: the stop flag and the queue, nothing else.
//
// Always held by std::shared_ptr (Create). The job owns its thread: releasing the
// job asks it to stop and waits until its body has ended, so no job outlives its
// owner (nor the objects the program tears down after it). A subclass that
// overrides a step stops and joins in its own destructor, before its part goes.
class BackupJob : public std::enable_shared_from_this<BackupJob> {
public:
    // Created suspended: start() runs it.
    static std::shared_ptr<BackupJob> create(const BackupProject& project,
                                             std::shared_ptr<NotificationQueue> queue);
    // Asks a running job to stop and joins its thread.
    virtual ~BackupJob();
    BackupJob(const BackupJob&) = delete;
    BackupJob& operator=(const BackupJob&) = delete;

    // Runs Execute on a new thread, once; later calls do nothing.
    void start();
    // Asks the job to stop (the flag only ever goes from false to true).
    void terminate() { terminated_.store(true); }
    bool terminated() const { return terminated_.load(); }
    // True once the body has ended and the job-done entry is queued.
    bool finished() const;
    // Blocks until the body has ended (returns at once when never started).
    void waitFor() const;
    // Joins the thread (at once when never started); Terminate first for a quick end.
    // Owners join before they release a job that may still run.
    void join();

    const BackupProject& project() const { return project_; }
    // BackupDirectory + Project, ending in "/".
    const std::filesystem::path& projectFolder() const { return projectFolder_; }

protected:
    BackupJob(const BackupProject& project, std::shared_ptr<NotificationQueue> queue);

    // The two steps; every error becomes one notification of code 1.
    void execute();

    void notify(int32_t code, int32_t value, const std::string& text);

    // ---- Database step --------------------------------------------------------
    // Writes the dump of the project's database into the project folder and returns
    // the dump file's path; raises an error with a message on any failure. Called
    // only when the project names both a server and a database.
    virtual std::filesystem::path backupDatabase();
    // The dump's progress event: raises JobCancelled when a stop was requested, otherwise
    // posts the overall percent when `percent` changed since the previous event.
    void dumpProgress(const std::string& objectName, int32_t objectNum, int32_t objectCount, int32_t percent);
    // Percent of the previous dump progress event; -1 before the first.
    int32_t lastDumpPercent_ = -1;
    // ---------------------------------------------------------------------------

    // The copy step: copies the files directory into the project folder.
    DirectoryCopy::Result backupFiles();

private:
    BackupProject project_;
    std::filesystem::path projectFolder_;
    std::shared_ptr<NotificationQueue> queue_;
    std::atomic<bool> terminated_{false};
    bool started_ = false;
    mutable std::mutex mutex_;
    mutable std::condition_variable finishedChanged_;
    bool finished_ = false;
    // Last member: it joins before the others go.
    std::jthread thread_;
};

}  // namespace tharvel
