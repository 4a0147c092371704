#include "ui/ProgressWindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "backup/LogFile.h"
#include "platform/AppPaths.h"
#include "ui/BackupRunDriver.h"
#include "ui/UiLook.h"

namespace tharvel {

ProgressWindow::ProgressWindow(ProjectTable* table, QWidget* parent) : QDialog(parent), table_(table) {
    setObjectName(QStringLiteral("ProgressWindow"));
    buildLayout();
}

ProgressWindow::~ProgressWindow() {
    // A cancelled job may still be running: its run stays until the job has ended.
    if (driver_) driver_->detach();
}

void ProgressWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started_ || !table_) return;
    started_ = true;
    const std::filesystem::path log = AppPaths::dataDirectory() / LogFile::kFileName;
    driver_ = new BackupRunDriver(*table_, log, mode_, jobFactory_, this);
    driver_->setParent(this);
    // From the dialog's own loop, so that a run that ends at once can close it.
    QMetaObject::invokeMethod(
        this, [this] { driver_->start(); }, Qt::QueuedConnection);
}

void ProgressWindow::done(int result) {
    if (driver_ && !driver_->run().closing()) driver_->run().close();
    QDialog::done(result);
}

int ProgressWindow::runResult() const {
    return driver_ ? driver_->run().runResult() : 0;
}

QString ProgressWindow::lastError() const {
    return driver_ ? QString::fromStdString(driver_->run().lastError()) : QString();
}

QString ProgressWindow::logError() const {
    return driver_ ? QString::fromStdString(driver_->run().logError()) : QString();
}

void ProgressWindow::buildLayout() {
    setWindowTitle(QStringLiteral("BackUp Progress"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(462, 229);
    QFont font = UiLook::baseFont();
    font.setPixelSize(12);
    setFont(font);

    projectCaption = new QLabel(QStringLiteral("Backing Up Project:"), this);
    projectCaption->setObjectName(QStringLiteral("projectCaption"));
    projectCaption->move(24, 24);
    projectCaption->adjustSize();
    projectNameLabel = new QLabel(QStringLiteral("Proj name"), this);
    projectNameLabel->setObjectName(QStringLiteral("projectNameLabel"));
    QFont bold = font;
    bold.setBold(true);
    projectNameLabel->setFont(bold);
    // Long names would run past the window; the label ends at the right margin.
    projectNameLabel->setGeometry(projectCaption->geometry().right() + 8, 24,
                                  449 - projectCaption->geometry().right() - 8, projectCaption->height());
    stepLabel = new QLabel(QStringLiteral("Backing Up:"), this);
    stepLabel->setObjectName(QStringLiteral("stepLabel"));
    stepLabel->setGeometry(24, 68, 425, 49);
    stepLabel->setWordWrap(true);
    stepLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    stepProgress = new QProgressBar(this);
    stepProgress->setObjectName(QStringLiteral("stepProgress"));
    stepProgress->setGeometry(24, 120, 425, 17);
    runProgress = new QProgressBar(this);
    runProgress->setObjectName(QStringLiteral("runProgress"));
    runProgress->setGeometry(24, 152, 425, 17);
    for (QProgressBar* bar : {stepProgress, runProgress}) {
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
    }
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setGeometry(374, 190, 75, 25);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void ProgressWindow::setPosition(QProgressBar* bar, int position) {
    bar->setValue(std::clamp(position, 0, 100));
}

}  // namespace tharvel
