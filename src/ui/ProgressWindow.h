#pragma once
#include <QDialog>
#include <QString>

#include "backup/BackupRun.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace tharvel {

class BackupRunDriver;
class ProjectTable;

// The modal window of a backup run: the project in hand, the step in hand, the
// progress of the step and of the whole run, and Cancel. The run itself is the
// core's; it starts when the window is shown and reads the table's current row.
class ProgressWindow : public QDialog {
    Q_OBJECT
public:
    // Without a table the window only shows its layout.
    explicit ProgressWindow(ProjectTable* table = nullptr, QWidget* parent = nullptr);
    ~ProgressWindow() override;

    // The mode, set before the window is shown: the current project only, or every
    // project from the current one to the last.
    void setMode(BackupRun::Mode mode) { mode_ = mode; }
    // 0 success, 1 a job failed, 2 cancelled by the user; and the last error's text.
    int runResult() const;
    QString lastError() const;
    // Why the log could not be written, or empty.
    QString logError() const;

    // Who makes the run's jobs; the backup job of the core unless set.
    void setJobFactory(BackupRun::JobFactory factory) { jobFactory_ = std::move(factory); }

    // Closing by Cancel, the close box or the end of the run.
    void done(int result) override;

    QLabel* projectCaption;
    QLabel* projectNameLabel;
    QLabel* stepLabel;
    QProgressBar* stepProgress;
    QProgressBar* runProgress;
    QPushButton* cancelButton;

    // Shows a position; above 100 shows full.
    static void setPosition(QProgressBar* bar, int position);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildLayout();

    ProjectTable* table_;
    BackupRun::Mode mode_ = BackupRun::OneProject;
    BackupRun::JobFactory jobFactory_;
    BackupRunDriver* driver_ = nullptr;
    bool started_ = false;
};

}  // namespace tharvel
