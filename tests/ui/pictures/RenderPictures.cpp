// Renders the windows to PNG files under the offscreen platform, for the README:
//   test_ui_pictures <output folder>
// main-window.png (two sample projects), progress-window.png (during a run),
// project-options.png (the first project's options) and one picture per message-box kind.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QTableView>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <thread>

#include "UiTestSupport.h"
#include "backup/BackupJob.h"
#include "backup/JobCancelled.h"
#include "support/TempDir.h"
#include "ui/GeneralErrorBox.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressWindow.h"
#include "ui/ProjectOptionsWindow.h"
#include "ui/TharvelApplication.h"

using namespace tharvel;
using namespace tharvel::test;

namespace {

// A database step that shows some progress and then waits to be stopped.
class PictureJob : public BackupJob {
public:
    static std::shared_ptr<BackupJob> create(const BackupProject& p, std::shared_ptr<NotificationQueue> q) {
        return std::shared_ptr<BackupJob>(new PictureJob(p, std::move(q)));
    }

protected:
    using BackupJob::BackupJob;
    std::filesystem::path backupDatabase() override {
        notify(JobNotification::Progress, 64, {});
        while (!terminated()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        throw JobCancelled();
    }
};

bool save(QWidget* widget, const QDir& out, const QString& name) {
    const QString file = out.filePath(name);
    const bool ok = widget->grab().save(file);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(file));
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TharvelApplication app(argc, argv);
    QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    out.mkpath(QStringLiteral("."));
    bool ok = true;

    TempDir home("tharvel-pictures");
    qputenv("THARVEL_HOME", QByteArray::fromStdString(home.path().string()));
    std::filesystem::create_directories(home / "www" / "shop");
    writeFile(home / "www" / "shop" / "index.php", "<?php");
    writeFile(home / "Tharvel.ini",
              "[Web shop]\r\nMySQLServer=localhost\r\nMySQLPort=3306\r\nMySQLDataBase=shop\r\n"
              "MySQLUser=backup\r\nMySQLNewBackupEachDay=1\r\nFilesDirectory=/var/www/shop\r\n"
              "BackupDirectory=/srv/backups/\r\nSkipFiles=2\r\nLastBackup=10/12/2026 03:00:12\r\n"
              "DumpCompression=zstd\r\nKeepDailyDumps=14\r\nMySQLTLS=required\r\n\r\n"
              "[Company blog]\r\nMySQLServer=db.example.org\r\nMySQLPort=3306\r\nMySQLDataBase=blog\r\n"
              "MySQLUser=blog\r\nFilesDirectory=" +
                  (home / "www" / "shop").string() + "\r\nBackupDirectory=" + (home / "backups").string() +
                  "\r\nSkipFiles=1\r\n");

    MainWindow main;
    main.show();
    QApplication::setActiveWindow(&main);
    if (!QTest::qWaitForWindowActive(&main)) return 1;
    main.successLabel->show();
    QApplication::processEvents();
    ok &= save(&main, out, QStringLiteral("main-window.png"));

    {
        ProjectOptionsWindow options(main.table().currentRow(), &main);
        options.show();
        QApplication::processEvents();
        ok &= save(&options, out, QStringLiteral("project-options.png"));
    }

    // Progress window: all projects from "Company blog", its database step in hand.
    main.projectList->setFocus();
    QTest::keyClick(main.projectList, Qt::Key_Down);
    {
        ProgressWindow progress(&main.table(), &main);
        progress.setMode(BackupRun::AllProjects);
        progress.setJobFactory(&PictureJob::create);
        progress.show();
        processEventsUntil([&] { return progress.stepProgress->value() == 64; }, 10000);
        ok &= save(&progress, out, QStringLiteral("progress-window.png"));
        progress.reject();
        processEventsUntil([] { return false; }, 200);
    }

    // The message boxes.
    const std::pair<QString, std::function<void()>> boxes[] = {
        {"box-information.png", [] { MessageBoxes::information(nullptr, "Success!"); }},
        {"box-warning.png", [] { MessageBoxes::warning(nullptr, "Project Name is missing"); }},
        {"box-error.png",
         [] { MessageBoxes::error(nullptr, "Can't connect to MySQL server on 'db.example.org' (10061)"); }},
        {"box-confirm.png", [] { MessageBoxes::confirm(nullptr, "Delete project?"); }},
        {"box-plain.png", [] { MessageBoxes::plain(nullptr, "Log File does not exist."); }},
        {"box-general-error.png",
         [] {
             GeneralErrorBox::show(nullptr, QStringLiteral("Access denied for user 'backup'@'localhost'"));
         }},
    };
    for (const auto& [name, show] : boxes) {
        MessageBoxAnswerer answerer(QStringLiteral("OK"));
        answerer.setInspector([&, name = name](QMessageBox* box) { ok &= save(box, out, name); });
        show();
    }
    qunsetenv("THARVEL_HOME");
    return ok ? 0 : 1;
}
