#pragma once
#include <QObject>
#include <QPointer>
#include <filesystem>
#include <memory>
#include <string>

#include "backup/BackupRun.h"
#include "backup/BackupRunObserver.h"

class QTimer;

namespace tharvel {

class ProgressWindow;
class ProjectTable;

// Runs a backup run in the event loop: a timer drains the run on the main thread
// and passes what the run shows on to the progress window.
// After a cancel the window goes at once; the driver then lives on, owned by the
// application, until the stopped job has ended, so that the run still logs the
// cancel, and deletes itself (or goes with the application, joining the job).
class BackupRunDriver : public QObject, public BackupRunObserver {
    Q_OBJECT
public:
    BackupRunDriver(ProjectTable& table, const std::filesystem::path& logPath, BackupRun::Mode mode,
                    BackupRun::JobFactory jobs, ProgressWindow* window);
    ~BackupRunDriver() override;

    BackupRun& run() { return *run_; }
    void start();
    // The window is going: stay until the job in hand has ended, then go too.
    void detach();

    void projectNameChanged(const std::string& name) override;
    void stepTextChanged(const std::string& text) override;
    void stepProgressChanged(int32_t position) override;
    void runProgressChanged(int32_t position) override;
    void closeWindow() override;

private:
    void drain();

    QPointer<ProgressWindow> window_;
    QTimer* poll_;
    std::unique_ptr<BackupRun> run_;
    bool detached_ = false;
};

}  // namespace tharvel
