#include "backup/BackupJob.h"

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

#include <stdexcept>
#include <thread>

#include "backup/DatabaseBackup.h"
#include "backup/JobCancelled.h"
#include "platform/Rounding.h"

namespace tharvel {
namespace {

bool isDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A project without a backup directory would write below the root directory.
void requireBackupDirectory(const BackupProject& project) {
    if (project.BackupDirectory.empty() || project.BackupDirectory == "/")
        throw std::runtime_error("Backup directory is not set for project '" + project.Project + "'");
}

}  // namespace

std::shared_ptr<BackupJob> BackupJob::Create(const BackupProject& project,
                                             std::shared_ptr<NotificationQueue> queue) {
    return std::shared_ptr<BackupJob>(new BackupJob(project, std::move(queue)));
}

BackupJob::BackupJob(const BackupProject& project, std::shared_ptr<NotificationQueue> queue)
    : project_(project), queue_(std::move(queue)) {
    projectFolder_ = project_.BackupDirectory + project_.Project;
    if (projectFolder_.empty() || projectFolder_.back() != '/') projectFolder_ += '/';
}

BackupJob::~BackupJob() {
    // Owners join first (a subclass's steps must not run while it is torn down);
    // this only makes sure that no thread outlives its job.
    Terminate();
    Join();
}

void BackupJob::Join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void BackupJob::Start() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (started_) return;
    started_ = true;
    thread_ = std::jthread([this] {
        // Stop signals are the main thread's to handle: one that landed here would
        // only break the job's network wait.
        sigset_t stops;
        sigemptyset(&stops);
        sigaddset(&stops, SIGINT);
        sigaddset(&stops, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &stops, nullptr);
        Execute();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        finishedChanged_.notify_all();
        queue_->Push({true, {}});
    });
}

bool BackupJob::Finished() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_;
}

void BackupJob::WaitFor() const {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!started_) return;
    finishedChanged_.wait(lock, [this] { return finished_; });
}

void BackupJob::Notify(int32_t code, int32_t value, const std::string& text) {
    queue_->Push({false, {code, value, text}});
}

void BackupJob::Execute() {
    try {
        if (!project_.MySQLServer.empty() && !project_.MySQLDataBase.empty()) {
            Notify(JobNotification::StepBegins, 0,
                   "Backing up MySQL database '" + project_.MySQLDataBase + "' on '" + project_.MySQLServer +
                       "'");
            if (Terminated()) return;
            requireBackupDirectory(project_);
            std::string path = BackupDatabase();
            Notify(JobNotification::LogLine, 0,
                   "Backup MySQL database to: '" + path + "' finished successfully");
            Notify(JobNotification::DatabaseDone, 0, {});
        }
        if (Terminated()) return;
        if (project_.FilesDirectory != "/" && !project_.FilesDirectory.empty() &&
            isDirectory(project_.FilesDirectory)) {
            Notify(JobNotification::StepBegins, 0, "Backing up '" + project_.FilesDirectory + "'");
            requireBackupDirectory(project_);
            DirectoryCopy::Result result = BackupFiles();
            Notify(JobNotification::LogLine, 0, std::to_string(result.count) + " files copied");
            Notify(JobNotification::LogLine, 0,
                   "Backup files to '" + result.destinationRoot.string() + "' finished successfully");
        }
    } catch (const std::exception& error) {
        Notify(JobNotification::JobFailed, 0, error.what());
    } catch (...) {
        Notify(JobNotification::JobFailed, 0, "Unknown error");
    }
}

DirectoryCopy::Result BackupJob::BackupFiles() {
    return DirectoryCopy::BackupFiles(
        project_.FilesDirectory, projectFolder_, project_.SkipFiles, [this] { return Terminated(); },
        [this](int32_t percent) { Notify(JobNotification::Progress, percent, {}); });
}

// ---- Database step -------------------------------------------------------------

std::string BackupJob::BackupDatabase() {
    lastDumpPercent_ = -1;
    requireBackupDirectory(project_);
    return DatabaseBackup::Run(
        project_, projectFolder_,
        [this](TDADump&, const std::string& name, int num, int count, int percent) {
            DumpProgress(name, num, count, percent);
        },
        [this](const std::string& line) { Notify(JobNotification::LogLine, 0, line); },
        [this] { return Terminated(); },
        [this](const std::string& text) { Notify(JobNotification::LogLine, 0, "Warning: " + text); });
}

void BackupJob::DumpProgress(const std::string& objectName, int32_t objectNum, int32_t objectCount,
                             int32_t percent) {
    (void)objectName;
    if (Terminated()) throw JobCancelled();
    if (percent != lastDumpPercent_) {
        int64_t value = percent;
        if (objectCount > 0)
            value = roundHalfEven<int64_t>(int64_t{objectNum} * 100, objectCount) +
                    roundHalfEven<int64_t>(percent, objectCount);
        Notify(JobNotification::Progress, static_cast<int32_t>(value), {});
    }
    lastDumpPercent_ = percent;
}

}  // namespace tharvel
