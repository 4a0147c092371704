#include "backup/BackupRun.h"

#include <exception>

#include "platform/Rounding.h"

namespace tharvel {

BackupRun::BackupRun(ProjectTable& table, std::filesystem::path logPath, Mode mode,
                     BackupRunObserver* observer, JobFactory jobFactory, LogFile::Clock logClock)
    : table_(table),
      log_(std::move(logPath), std::move(logClock)),
      mode_(mode),
      observer_(observer),
      jobFactory_(std::move(jobFactory)) {
    if (!jobFactory_) jobFactory_ = &BackupJob::create;
}

BackupRun::~BackupRun() {
    queue_->setWakeup({});
    // A job still running stops at its next check; it ends before its run does.
    if (job_) {
        job_->terminate();
        job_->join();
    }
}

void BackupRun::show() {
    runResult_ = 0;
    closing_ = false;
    cancelled_ = false;
    pastEnd_ = false;
    if (mode_ == OneProject) {
        step_ = 50;
    } else {
        // 100 / (2 × rows), halves to even; an empty table has no step at all.
        int rows = table_.rowCount();
        step_ = rows > 0 ? roundedPercent(1, 2 * static_cast<uint64_t>(rows)) : 0;
    }
    if (table_.currentIndex() < 0) {
        // Nothing to back up: end here rather than wait for a job that never comes,
        // and never call that a success.
        lastError_ = kNothingToBackUp;
        runResult_ = 1;
        log("Error:'" + lastError_ + "'");
        setRunProgress(100);
        closing_ = true;
        if (observer_) observer_->closeWindow();
        return;
    }
    startJob();
}

void BackupRun::startJob() {
    if (pastEnd_ || table_.currentIndex() < 0) return;
    BackupProject record = BackupProject::fromCurrentRow(table_);
    log("", false);
    log("Starting backup project '" + record.project + "'");
    projectName_ = record.project;
    if (observer_) observer_->projectNameChanged(projectName_);
    jobProject_ = record.project;
    job_ = jobFactory_(record, queue_);
    jobRunning_ = true;
    job_->start();
}

void BackupRun::handleNotification(const JobNotification& note) {
    switch (note.code) {
        case JobNotification::StepBegins:
            if (!note.text.empty()) {
                stepText_ = note.text;
                if (observer_) observer_->stepTextChanged(stepText_);
                log(note.text);
            }
            break;
        case JobNotification::JobFailed:
            lastError_ = note.text;
            log("Error:'" + note.text + "'");
            // A cancelled run stays cancelled, whatever the stopped job reports.
            if (!cancelled_) runResult_ = 1;
            jobFailed_ = 1;
            break;
        case JobNotification::DatabaseDone:
            setRunProgress(runProgress_ + step_);
            setStepProgress(0);
            break;
        case JobNotification::Progress:
            setStepProgress(note.value);
            if (!note.text.empty()) {
                stepText_ = note.text;
                if (observer_) observer_->stepTextChanged(stepText_);
            }
            break;
        case JobNotification::LogLine:
            log(note.text);
            break;
        default:
            break;
    }
}

void BackupRun::jobDone() {
    if (closing_) {
        log("Backup canceled by user");
        return;
    }
    if (jobFailed_ == 0) {
        try {
            table_.edit();
            table_.setValue(ProjectColumn::LastBackup, ProjectValue(std::chrono::system_clock::now()));
            table_.post();
            log("Backup of project '" + jobProject_ + "' finished successfully");
        } catch (const std::exception& error) {
            // The stamp could not be stored: the project is not counted as backed up.
            if (table_.isEditingOrInserting()) table_.cancel();
            lastError_ = error.what();
            runResult_ = 1;
            log("Error:'" + lastError_ + "'");
            log("Backup of project '" + jobProject_ + "' finished with errors!");
        }
    } else {
        log("Backup of project '" + jobProject_ + "' finished with errors!");
        jobFailed_ = 0;
    }
    if (mode_ == AllProjects && !pastEnd_) {
        setRunProgress(runProgress_ + step_);
        setStepProgress(0);
        if (!table_.next()) pastEnd_ = true;
        startJob();
    }
    if (mode_ == OneProject || pastEnd_) {
        setRunProgress(100);
        closing_ = true;
        if (observer_) observer_->closeWindow();
        close();
    }
}

void BackupRun::close() {
    if (!closing_) {
        runResult_ = 2;
        cancelled_ = true;
    }
    closing_ = true;
    if (job_) job_->terminate();
}

size_t BackupRun::processNotifications() {
    if (draining_) return 0;
    draining_ = true;
    size_t handled = 0;
    try {
        for (auto& entry : queue_->takeAll()) {
            ++handled;
            if (entry.jobDone) {
                // The job has ended and every notification of it has been handled.
                jobRunning_ = false;
                job_.reset();
                jobDone();
            } else {
                handleNotification(entry.note);
            }
        }
    } catch (...) {
        draining_ = false;
        throw;
    }
    draining_ = false;
    return handled;
}

bool BackupRun::waitForNotifications(std::chrono::milliseconds timeout) {
    return queue_->waitForEntries(timeout);
}

void BackupRun::setWakeup(std::function<void()> wakeup) {
    queue_->setWakeup(std::move(wakeup));
}

void BackupRun::log(const std::string& text, bool stamped) {
    std::vector<std::string> lines;
    try {
        log_.writeLine(text, stamped, &lines);
    } catch (const std::exception& error) {
        // The backup goes on; the run ends with errors and says why once.
        if (logError_.empty()) logError_ = error.what();
        if (!cancelled_) runResult_ = 1;
    }
    if (observer_)
        for (const auto& line : lines) observer_->logLineWritten(line);
}

void BackupRun::setStepProgress(int32_t position) {
    stepProgress_ = position;
    if (observer_) observer_->stepProgressChanged(position);
}

void BackupRun::setRunProgress(int32_t position) {
    runProgress_ = position;
    if (observer_) observer_->runProgressChanged(position);
}

}  // namespace tharvel
