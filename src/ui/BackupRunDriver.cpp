#include "ui/BackupRunDriver.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMetaObject>

#include "ui/TBackUpProgressForm.h"

namespace tharvel {

BackupRunDriver::BackupRunDriver(VT& table, const std::string& logPath, TBackupRun::Mode mode,
                                 TBackupRun::JobFactory jobs, TBackUpProgressForm* form)
    : form_(form), run_(std::make_unique<TBackupRun>(table, logPath, mode, this, std::move(jobs))) {
    // Runs on the job's thread: it only posts a call into the main thread's loop.
    // Pending calls die with this object, and the run stops calling before it goes.
    run_->SetWakeup(
        [this] { QMetaObject::invokeMethod(this, &BackupRunDriver::drain, Qt::QueuedConnection); });
}

BackupRunDriver::~BackupRunDriver() {
    run_->SetWakeup({});
}

void BackupRunDriver::start() {
    run_->Show();
}

void BackupRunDriver::detach() {
    detached_ = true;
    form_ = nullptr;
    // Owned by the application from now on: a job still running at exit is
    // stopped and joined when the application goes, before the program ends.
    setParent(QCoreApplication::instance());
    if (run_->Finished()) deleteLater();
}

void BackupRunDriver::drain() {
    run_->ProcessNotifications();
    if (detached_ && run_->Finished()) deleteLater();
}

void BackupRunDriver::ProjectNameChanged(const std::string& name) {
    if (form_) form_->LabelProjName->setText(QString::fromStdString(name));
}

void BackupRunDriver::StepTextChanged(const std::string& text) {
    if (form_) form_->TntLabel3->setText(QString::fromStdString(text));
}

void BackupRunDriver::StepProgressChanged(int32_t position) {
    if (form_) TBackUpProgressForm::setPosition(form_->ProgressBar1, position);
}

void BackupRunDriver::RunProgressChanged(int32_t position) {
    if (form_) TBackUpProgressForm::setPosition(form_->ProgressBar2, position);
}

void BackupRunDriver::CloseWindow() {
    if (form_) form_->done(QDialog::Accepted);
}

}  // namespace tharvel
