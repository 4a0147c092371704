#include "backup/BackupJob.h"

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

#include <stdexcept>
#include <thread>
#include <utility>

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
    if (project.backupDirectory.empty() || project.backupDirectory == "/")
        throw std::runtime_error("Backup directory is not set for project '" + project.project + "'");
}

}  // namespace

std::shared_ptr<BackupJob> BackupJob::create(const BackupProject& project,
                                             std::shared_ptr<NotificationQueue> queue) {
    return std::shared_ptr<BackupJob>(new BackupJob(project, std::move(queue)));
}

BackupJob::BackupJob(const BackupProject& project, std::shared_ptr<NotificationQueue> queue)
    : project_(project), queue_(std::move(queue)) {
    std::string folder = project_.backupDirectory + project_.project;
    if (folder.empty() || folder.back() != '/') folder += '/';
    projectFolder_ = std::move(folder);
}

BackupJob::~BackupJob() {
    // Owners join first (a subclass's steps must not run while it is torn down);
    // this only makes sure that no thread outlives its job.
    terminate();
    join();
}

void BackupJob::join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void BackupJob::start() {
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
        execute();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        finishedChanged_.notify_all();
        queue_->push({true, {}});
    });
}

bool BackupJob::finished() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_;
}

void BackupJob::waitFor() const {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!started_) return;
    finishedChanged_.wait(lock, [this] { return finished_; });
}

void BackupJob::notify(int32_t code, int32_t value, const std::string& text) {
    queue_->push({false, {code, value, text}});
}

void BackupJob::execute() {
    try {
        if (!project_.mysqlServer.empty() && !project_.mysqlDatabase.empty()) {
            notify(JobNotification::StepBegins, 0,
                   "Backing up MySQL database '" + project_.mysqlDatabase + "' on '" + project_.mysqlServer +
                       "'");
            if (terminated()) return;
            requireBackupDirectory(project_);
            const std::filesystem::path path = backupDatabase();
            notify(JobNotification::LogLine, 0,
                   "Backup MySQL database to: '" + path.string() + "' finished successfully");
            notify(JobNotification::DatabaseDone, 0, {});
        }
        if (terminated()) return;
        if (project_.filesDirectory != "/" && !project_.filesDirectory.empty() &&
            isDirectory(project_.filesDirectory)) {
            notify(JobNotification::StepBegins, 0, "Backing up '" + project_.filesDirectory + "'");
            requireBackupDirectory(project_);
            DirectoryCopy::Result result = backupFiles();
            notify(JobNotification::LogLine, 0, std::to_string(result.count) + " files copied");
            notify(JobNotification::LogLine, 0,
                   "Backup files to '" + result.destinationRoot.string() + "' finished successfully");
        }
    } catch (const std::exception& error) {
        notify(JobNotification::JobFailed, 0, error.what());
    } catch (...) {
        notify(JobNotification::JobFailed, 0, "Unknown error");
    }
}

DirectoryCopy::Result BackupJob::backupFiles() {
    return DirectoryCopy::backupFiles(
        project_.filesDirectory, projectFolder_, project_.skipFiles, [this] { return terminated(); },
        [this](int32_t percent) { notify(JobNotification::Progress, percent, {}); });
}

// ---- Database step -------------------------------------------------------------

std::filesystem::path BackupJob::backupDatabase() {
    lastDumpPercent_ = -1;
    requireBackupDirectory(project_);
    return DatabaseBackup::run(
        project_, projectFolder_,
        [this](const std::string& name, int num, int count, int percent) {
            dumpProgress(name, num, count, percent);
        },
        [this](const std::string& line) { notify(JobNotification::LogLine, 0, line); },
        [this] { return terminated(); },
        [this](const std::string& text) { notify(JobNotification::LogLine, 0, "Warning: " + text); });
}

void BackupJob::dumpProgress(const std::string& objectName, int32_t objectNum, int32_t objectCount,
                             int32_t percent) {
    (void)objectName;
    if (terminated()) throw JobCancelled();
    if (percent != lastDumpPercent_) {
        int64_t value = percent;
        if (objectCount > 0)
            value = roundHalfEven<int64_t>(int64_t{objectNum} * 100, objectCount) +
                    roundHalfEven<int64_t>(percent, objectCount);
        notify(JobNotification::Progress, static_cast<int32_t>(value), {});
    }
    lastDumpPercent_ = percent;
}

}  // namespace tharvel
