#pragma once
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "backup/BackupJob.h"
#include "backup/BackupRunObserver.h"
#include "backup/LogFile.h"
#include "backup/NotificationQueue.h"
#include "projects/ProjectTable.h"

namespace tharvel {

// A backup run: the current project, or every project from the current row to the
// last, one job after the other. It starts each job, turns the job's notifications
// into labels, the two progress values and log lines, stamps LastBackup in each
// project that succeeded (the post saves the project file through the table's
// rules), and at the end holds runResult (0 success, 1 a job failed, 2 cancelled)
// and lastError.
//
// Threads. Everything here runs on one thread, the one that owns the table (the
// main thread). Jobs push notifications into the run's queue from their own
// thread; processNotifications() handles them in order, and a job's completion
// (jobDone) only when its last notification has been handled. Two ways to drive it:
//
//   - An event loop (Qt): setWakeup() with a function that posts a queued call back
//     into the loop, e.g.
//         run.setWakeup([w = QPointer(window)] {
//             QMetaObject::invokeMethod(w, [w] { if (w) w->drain(); }, Qt::QueuedConnection); });
//     where drain() calls run.processNotifications(). The wake-up runs on the job's
//     thread and must only post; a QTimer calling processNotifications() works too
//     (the desktop does that: then nothing of Qt crosses threads, and a thread
//     checker sees every hand-over through the queue's lock).
//   - A plain loop (headless):
//         run.show();
//         while (!run.finished()) { run.waitForNotifications(100ms); run.processNotifications(); }
//
// Observer calls come from inside the run's own operations: an observer may call
// close() there, but must not release the run (defer that to the event loop).
//
// cancelling (close() while the run has not ended) sets runResult to 2 and asks
// the job in hand to stop; the run keeps handling that job's notifications if it is
// drained further, and its jobDone logs "Backup canceled by user". The run may
// also be released at once: the job then stops on its own and nothing of it
// reaches the released run (it shares only its queue and stop flag).
class BackupRun {
public:
    enum Mode : int32_t { AllProjects = 0, OneProject = 1 };
    // lastError of a run on a table without a current row.
    static constexpr const char* kNothingToBackUp = "There is no project to back up: nothing was backed up";
    using JobFactory =
        std::function<std::shared_ptr<BackupJob>(const BackupProject&, std::shared_ptr<NotificationQueue>)>;

    // `observer` may be null. `jobFactory` defaults to BackupJob::Create.
    BackupRun(ProjectTable& table, std::filesystem::path logPath, Mode mode,
              BackupRunObserver* observer = nullptr, JobFactory jobFactory = {},
              LogFile::Clock logClock = {});
    ~BackupRun();
    BackupRun(const BackupRun&) = delete;
    BackupRun& operator=(const BackupRun&) = delete;

    // The window is shown: resets the result, computes Step and starts the first job.
    // A table without a current row ends the run at once with runResult 1 and
    // lastError kNothingToBackUp.
    void show();
    // Starts the job for the current row (nothing when the table is past its end).
    void startJob();
    // The handler of one notification.
    void handleNotification(const JobNotification& note);
    // The completion of the job in hand.
    void jobDone();
    // Closing the window: the Cancel button, the close box, or the end of the run.
    void close();

    // Handles every queued notification and completion, in order. Returns how many
    // entries it handled. Does nothing when called from inside itself.
    size_t processNotifications();
    // Blocks until the queue holds an entry or `timeout` passes.
    bool waitForNotifications(std::chrono::milliseconds timeout);
    // See the class comment; an empty function removes the wake-up.
    void setWakeup(std::function<void()> wakeup);

    Mode mode() const { return mode_; }
    int32_t step() const { return step_; }
    int32_t runResult() const { return runResult_; }
    int32_t jobFailed() const { return jobFailed_; }
    const std::string& lastError() const { return lastError_; }
    // The first failure to write a line to an opened log ("" when none). Such a
    // failure makes runResult 1 (unless cancelled); the jobs still run to their end.
    const std::string& logError() const { return logError_; }
    bool closing() const { return closing_; }
    // Closed and no job left to hear from: a plain loop may stop draining.
    bool finished() const { return closing_ && !jobRunning_; }
    int32_t stepProgress() const { return stepProgress_; }
    int32_t runProgress() const { return runProgress_; }
    const std::filesystem::path& logPath() const { return log_.path(); }

private:
    void log(const std::string& text, bool stamped = true);
    void setStepProgress(int32_t position);
    void setRunProgress(int32_t position);

    ProjectTable& table_;
    LogFile log_;
    Mode mode_;
    BackupRunObserver* observer_;
    JobFactory jobFactory_;
    std::shared_ptr<NotificationQueue> queue_ = std::make_shared<NotificationQueue>();
    std::shared_ptr<BackupJob> job_;  // the job in hand
    std::string jobProject_;          // its project's name
    int32_t step_ = 0;
    int32_t runResult_ = 0;
    int32_t jobFailed_ = 0;
    std::string lastError_;
    std::string logError_;
    bool closing_ = false;
    bool cancelled_ = false;
    bool pastEnd_ = false;
    bool jobRunning_ = false;  // from startJob until that job's jobDone has been handled
    bool draining_ = false;
    int32_t stepProgress_ = 0;
    int32_t runProgress_ = 0;
    std::string projectName_;
    std::string stepText_;
};

}  // namespace tharvel
