#include "ui/TBackUpProgressForm.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "platform/AppPaths.h"
#include "ui/BackupRunDriver.h"
#include "ui/UiLook.h"

namespace tharvel {

TBackUpProgressForm::TBackUpProgressForm(VT* table, QWidget* parent) : QDialog(parent), table_(table) {
    setObjectName(QStringLiteral("BackUpProgressForm"));
    buildLayout();
}

TBackUpProgressForm::~TBackUpProgressForm() {
    // A cancelled job may still be running: its run stays until the job has ended.
    if (driver_) driver_->detach();
}

void TBackUpProgressForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started_ || !table_) return;
    started_ = true;
    const std::string log = (AppPaths::dataDirectory() / "TharvelLog.txt").string();
    driver_ = new BackupRunDriver(*table_, log, tag_ == 1 ? TBackupRun::OneProject : TBackupRun::AllProjects,
                                  jobFactory_, this);
    driver_->setParent(this);
    // From the dialog's own loop, so that a run that ends at once can close it.
    QMetaObject::invokeMethod(
        this, [this] { driver_->start(); }, Qt::QueuedConnection);
}

void TBackUpProgressForm::done(int result) {
    if (driver_ && !driver_->run().Closing()) driver_->run().Close();
    QDialog::done(result);
}

int TBackUpProgressForm::RunResult() const {
    return driver_ ? driver_->run().RunResult() : 0;
}

QString TBackUpProgressForm::LastError() const {
    return driver_ ? QString::fromStdString(driver_->run().LastError()) : QString();
}

QString TBackUpProgressForm::LogError() const {
    return driver_ ? QString::fromStdString(driver_->run().LogError()) : QString();
}

void TBackUpProgressForm::buildLayout() {
    setWindowTitle(QStringLiteral("BackUp Progress"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(462, 229);
    QFont font = UiLook::baseFont();
    font.setPixelSize(12);
    setFont(font);

    TntLabel1 = new QLabel(QStringLiteral("Backing Up Project:"), this);
    TntLabel1->setObjectName(QStringLiteral("TntLabel1"));
    TntLabel1->move(24, 24);
    TntLabel1->adjustSize();
    LabelProjName = new QLabel(QStringLiteral("Proj name"), this);
    LabelProjName->setObjectName(QStringLiteral("LabelProjName"));
    QFont bold = font;
    bold.setBold(true);
    LabelProjName->setFont(bold);
    // Long names would run past the window; the label ends at the right margin.
    LabelProjName->setGeometry(TntLabel1->geometry().right() + 8, 24, 449 - TntLabel1->geometry().right() - 8,
                               TntLabel1->height());
    TntLabel3 = new QLabel(QStringLiteral("Backing Up:"), this);
    TntLabel3->setObjectName(QStringLiteral("TntLabel3"));
    TntLabel3->setGeometry(24, 68, 425, 49);
    TntLabel3->setWordWrap(true);
    TntLabel3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(24, 120, 425, 17);
    ProgressBar2 = new QProgressBar(this);
    ProgressBar2->setObjectName(QStringLiteral("ProgressBar2"));
    ProgressBar2->setGeometry(24, 152, 425, 17);
    for (QProgressBar* bar : {ProgressBar1, ProgressBar2}) {
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
    }
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(374, 190, 75, 25);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TBackUpProgressForm::setPosition(QProgressBar* bar, int position) {
    bar->setValue(std::clamp(position, 0, 100));
}

}  // namespace tharvel
