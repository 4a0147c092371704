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
    if (!jobFactory_) jobFactory_ = &BackupJob::Create;
}

BackupRun::~BackupRun() {
    queue_->SetWakeup({});
    // A job still running stops at its next check; it ends before its run does.
    if (job_) {
        job_->Terminate();
        job_->Join();
    }
}

void BackupRun::Show() {
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
        Log("Error:'" + lastError_ + "'");
        SetProgressBar2(100);
        closing_ = true;
        if (observer_) observer_->CloseWindow();
        return;
    }
    StartJob();
}

void BackupRun::StartJob() {
    if (pastEnd_ || table_.currentIndex() < 0) return;
    BackupProject record = BackupProject::fromCurrentRow(table_);
    Log("", false);
    Log("Starting backup project '" + record.Project + "'");
    projectName_ = record.Project;
    if (observer_) observer_->ProjectNameChanged(projectName_);
    jobProject_ = record.Project;
    job_ = jobFactory_(record, queue_);
    jobRunning_ = true;
    job_->Start();
}

void BackupRun::HandleNotification(const JobNotification& note) {
    switch (note.code) {
        case JobNotification::StepBegins:
            if (!note.text.empty()) {
                stepText_ = note.text;
                if (observer_) observer_->StepTextChanged(stepText_);
                Log(note.text);
            }
            break;
        case JobNotification::JobFailed:
            lastError_ = note.text;
            Log("Error:'" + note.text + "'");
            // A cancelled run stays cancelled, whatever the stopped job reports.
            if (!cancelled_) runResult_ = 1;
            jobFailed_ = 1;
            break;
        case JobNotification::DatabaseDone:
            SetProgressBar2(progressBar2_ + step_);
            SetProgressBar1(0);
            break;
        case JobNotification::Progress:
            SetProgressBar1(note.value);
            if (!note.text.empty()) {
                stepText_ = note.text;
                if (observer_) observer_->StepTextChanged(stepText_);
            }
            break;
        case JobNotification::LogLine:
            Log(note.text);
            break;
        default:
            break;
    }
}

void BackupRun::JobDone() {
    if (closing_) {
        Log("Backup canceled by user");
        return;
    }
    if (jobFailed_ == 0) {
        try {
            table_.edit();
            table_.setValue(ProjectColumn::LastBackup, ProjectValue(std::chrono::system_clock::now()));
            table_.post();
            Log("Backup of project '" + jobProject_ + "' finished successfully");
        } catch (const std::exception& error) {
            // The stamp could not be stored: the project is not counted as backed up.
            if (table_.isEditingOrInserting()) table_.cancel();
            lastError_ = error.what();
            runResult_ = 1;
            Log("Error:'" + lastError_ + "'");
            Log("Backup of project '" + jobProject_ + "' finished with errors!");
        }
    } else {
        Log("Backup of project '" + jobProject_ + "' finished with errors!");
        jobFailed_ = 0;
    }
    if (mode_ == AllProjects && !pastEnd_) {
        SetProgressBar2(progressBar2_ + step_);
        SetProgressBar1(0);
        if (!table_.next()) pastEnd_ = true;
        StartJob();
    }
    if (mode_ == OneProject || pastEnd_) {
        SetProgressBar2(100);
        closing_ = true;
        if (observer_) observer_->CloseWindow();
        Close();
    }
}

void BackupRun::Close() {
    if (!closing_) {
        runResult_ = 2;
        cancelled_ = true;
    }
    closing_ = true;
    if (job_) job_->Terminate();
}

size_t BackupRun::ProcessNotifications() {
    if (draining_) return 0;
    draining_ = true;
    size_t handled = 0;
    try {
        for (auto& entry : queue_->TakeAll()) {
            ++handled;
            if (entry.jobDone) {
                // The job has ended and every notification of it has been handled.
                jobRunning_ = false;
                job_.reset();
                JobDone();
            } else {
                HandleNotification(entry.note);
            }
        }
    } catch (...) {
        draining_ = false;
        throw;
    }
    draining_ = false;
    return handled;
}

bool BackupRun::WaitForNotifications(std::chrono::milliseconds timeout) {
    return queue_->WaitForEntries(timeout);
}

void BackupRun::SetWakeup(std::function<void()> wakeup) {
    queue_->SetWakeup(std::move(wakeup));
}

void BackupRun::Log(const std::string& text, bool stamped) {
    std::vector<std::string> lines;
    try {
        log_.WriteLine(text, stamped, &lines);
    } catch (const std::exception& error) {
        // The backup goes on; the run ends with errors and says why once.
        if (logError_.empty()) logError_ = error.what();
        if (!cancelled_) runResult_ = 1;
    }
    if (observer_)
        for (const auto& line : lines) observer_->LogLineWritten(line);
}

void BackupRun::SetProgressBar1(int32_t position) {
    progressBar1_ = position;
    if (observer_) observer_->StepProgressChanged(position);
}

void BackupRun::SetProgressBar2(int32_t position) {
    progressBar2_ = position;
    if (observer_) observer_->RunProgressChanged(position);
}

}  // namespace tharvel
