#include "ui/BackupRunDriver.h"

#include <QCoreApplication>
#include <QLabel>
#include <QTimer>

#include "ui/ProgressWindow.h"

namespace tharvel {

BackupRunDriver::BackupRunDriver(ProjectTable& table, const std::filesystem::path& logPath,
                                 BackupRun::Mode mode, BackupRun::JobFactory jobs, ProgressWindow* window)
    : window_(window), run_(std::make_unique<BackupRun>(table, logPath, mode, this, std::move(jobs))) {
    // The loop looks into the run's queue itself: nothing of Qt crosses from the
    // job's thread, whose only link to this one stays the queue and its lock.
    poll_ = new QTimer(this);
    poll_->setInterval(10);
    connect(poll_, &QTimer::timeout, this, &BackupRunDriver::drain);
    poll_->start();
}

BackupRunDriver::~BackupRunDriver() = default;

void BackupRunDriver::start() {
    run_->show();
}

void BackupRunDriver::detach() {
    detached_ = true;
    window_ = nullptr;
    // Owned by the application from now on: a job still running at exit is
    // stopped and joined when the application goes, before the program ends.
    setParent(QCoreApplication::instance());
    if (run_->finished()) deleteLater();
}

void BackupRunDriver::drain() {
    run_->processNotifications();
    if (!run_->finished()) return;
    poll_->stop();
    if (detached_) deleteLater();
}

void BackupRunDriver::projectNameChanged(const std::string& name) {
    if (window_) window_->projectNameLabel->setText(QString::fromStdString(name));
}

void BackupRunDriver::stepTextChanged(const std::string& text) {
    if (window_) window_->stepLabel->setText(QString::fromStdString(text));
}

void BackupRunDriver::stepProgressChanged(int32_t position) {
    if (window_) ProgressWindow::setPosition(window_->stepProgress, position);
}

void BackupRunDriver::runProgressChanged(int32_t position) {
    if (window_) ProgressWindow::setPosition(window_->runProgress, position);
}

void BackupRunDriver::closeWindow() {
    if (window_) window_->done(QDialog::Accepted);
}

}  // namespace tharvel
