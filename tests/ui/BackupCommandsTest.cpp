#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <atomic>
#include <thread>

#include "MainWindowDriver.h"
#include "UiTestSupport.h"
#include "backup/BackupJob.h"
#include "backup/BackupRun.h"
#include "backup/JobCancelled.h"
#include "projects/PasswordCipher.h"
#include "ui/BackupRunDriver.h"
#include "ui/ProgressWindow.h"

using namespace tharvel;
using namespace tharvel::test;

namespace {

std::string filesProject(const TempDir& dir, const std::string& name) {
    return "[" + name + "]\nFilesDirectory=" + (dir / "site").string() +
           "\nBackupDirectory=" + (dir / "backups").string() + "\n";
}

void makeSite(const TempDir& dir) {
    std::filesystem::create_directories(dir / "site" / "img");
    writeFile(dir / "site" / "index.html", "<html></html>");
    writeFile(dir / "site" / "img" / "logo.png", "png");
}

std::string logText(const TempDir& dir) {
    std::error_code ec;
    return std::filesystem::exists(dir / "TharvelLog.txt", ec) ? readFile(dir / "TharvelLog.txt") : "";
}

// Records the progress window while it is open.
struct ProgressWatch {
    QTimer timer;
    bool seen = false;
    QString caption, project;
    explicit ProgressWatch(std::function<void(ProgressWindow*)> act = {}) {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [this, act] {
            auto* form = qobject_cast<ProgressWindow*>(QApplication::activeModalWidget());
            if (!form) return;
            if (!seen) {
                seen = true;
                caption = form->windowTitle();
            }
            project = form->projectNameLabel->text();
            if (act) act(form);
        });
        timer.start();
    }
};

// A job whose database step waits until it is asked to stop, and then until the
// test lets it go: a run that is surely in hand when Cancel is clicked.
class HeldJob : public BackupJob {
public:
    static inline std::atomic<bool> released{false};
    static std::shared_ptr<BackupJob> create(const BackupProject& p, std::shared_ptr<NotificationQueue> q) {
        return std::shared_ptr<BackupJob>(new HeldJob(p, std::move(q)));
    }
    ~HeldJob() override {
        terminate();
        join();
    }

protected:
    using BackupJob::BackupJob;
    std::filesystem::path backupDatabase() override {
        while (!terminated() || !released) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        throw JobCancelled();
    }
};

// Runs a backup command that must end "with errors" and show one error box;
// returns that box's text.
QString errorOutcome(MainWindowDriver& t, QToolButton* command) {
    MessageBoxAnswerer boxes;
    t.click(command);
    EXPECT_TRUE(t.window_->errorLabel->isVisible());
    EXPECT_FALSE(t.window_->successLabel->isVisible());
    EXPECT_EQ(boxes.seen().size(), 1u);
    if (boxes.seen().empty()) return {};
    EXPECT_EQ(boxes.seen()[0].title, "Error");
    return boxes.seen()[0].text;
}

}  // namespace

TEST(BackupCommands, FilesOnlyBackupOfTheSelectedProjectThroughTheProgressWindow) {
    MainWindowDriver t;
    makeSite(t.home_);
    t.writeProjects(filesProject(t.home_, "Other") + "\n" + filesProject(t.home_, "Site"));
    ASSERT_TRUE(t.show());
    t.focus(t.window_->projectList);
    QTest::keyClick(t.window_->projectList, Qt::Key_Down);
    ASSERT_EQ(t.window_->projectNameEdit->text(), "Site");
    // A password still being typed is stored before the run (the flat button takes
    // no focus, the command moves it).
    t.typeInto(t.window_->passwordEdit, QStringLiteral("pw"));

    ProgressWatch watch;
    MessageBoxAnswerer boxes;
    t.click(t.window_->backUpSelectedButton);

    EXPECT_TRUE(watch.seen);
    EXPECT_EQ(watch.caption, "BackUp Progress");
    EXPECT_EQ(watch.project, "Site");
    EXPECT_TRUE(boxes.seen().empty());
    EXPECT_TRUE(t.window_->successLabel->isVisible());
    EXPECT_FALSE(t.window_->errorLabel->isVisible());
    EXPECT_FALSE(t.window_->cancelledLabel->isVisible());
    EXPECT_EQ(readFile(t.home_ / "backups" / "Site" / "site" / "img" / "logo.png"), "png");
    EXPECT_FALSE(std::filesystem::exists(t.home_ / "backups" / "Other"));
    EXPECT_FALSE(t.window_->lastBackupLabel->text().isEmpty());
    const std::string file = t.projectFileText();
    EXPECT_NE(file.find("MySQLPassword=" + PasswordCipher::encipherPassword("pw")), std::string::npos);
    EXPECT_EQ(
        file.find(
            "[Other]\r\nMySQLServer=\r\nMySQLPort=\r\nMySQLDataBase=\r\nMySQLUser=\r\nMySQLPassword=\r\n"
            "MySQLNewBackupEachDay=1\r\nFilesDirectory=" +
            (t.home_ / "site").string() + "\r\nBackupDirectory=" + (t.home_ / "backups").string() +
            "\r\nSkipFiles=1\r\nLastBackup=\r\n"),
        0u);
    EXPECT_EQ(file.find("LastBackup=\r\n", file.find("[Site]")), std::string::npos);
    EXPECT_NE(logText(t.home_).find("Backup of project 'Site' finished successfully"), std::string::npos);
    // The stamp of the last backup edited the row: Save and Cancel stay on and do
    // nothing. The outcome stays until the next backup command hides it.
    EXPECT_EQ(t.buttonStates(), "10011 1");
    t.click(t.window_->cancelButton);
    EXPECT_EQ(t.buttonStates(), "10011 1");
    t.click(t.window_->newProjectButton);
    t.click(t.window_->cancelButton);
    EXPECT_TRUE(t.window_->successLabel->isVisible());
}

TEST(BackupCommands, AllProjectsRunFromTheFirstRowAndErrorsAreShown) {
    MainWindowDriver t;
    makeSite(t.home_);
    // The second project's database cannot be reached: nothing listens on port 1.
    t.writeProjects(filesProject(t.home_, "One") +
                    "\n[Broken]\nMySQLServer=127.0.0.1\nMySQLPort=1\n"
                    "MySQLDataBase=shop\nBackupDirectory=" +
                    (t.home_ / "backups").string() + "\n\n" + filesProject(t.home_, "Three"));
    ASSERT_TRUE(t.show());
    const QString box = errorOutcome(t, t.window_->backUpAllButton);
    EXPECT_TRUE(box.startsWith("Can't connect to MySQL server on '127.0.0.1'")) << box.toStdString();
    EXPECT_NE(logText(t.home_).find("Error:'Can't connect to MySQL server on '127.0.0.1'"),
              std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(t.home_ / "backups" / "One" / "site" / "index.html"));
    EXPECT_TRUE(std::filesystem::exists(t.home_ / "backups" / "Three" / "site" / "index.html"));
    const std::string file = t.projectFileText();
    EXPECT_NE(file.find("LastBackup=\r\n", file.find("[Broken]")), std::string::npos);
    EXPECT_EQ(file.find("LastBackup=\r\n", file.find("[Three]")), std::string::npos);
}

TEST(BackupCommands, ProjectWithoutNameStartsNoRun) {
    MainWindowDriver t;
    ASSERT_TRUE(t.show());
    t.click(t.window_->newProjectButton);
    ProgressWatch watch;
    MessageBoxAnswerer boxes;
    t.click(t.window_->backUpSelectedButton);
    EXPECT_FALSE(watch.seen);
    ASSERT_EQ(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].text, "Project Name is missing");
    EXPECT_EQ(logText(t.home_), "");
}

TEST(BackupCommands, CancelClosesTheWindowAtOnceAndTheJobEndsOnItsOwn) {
    MainWindowDriver t;
    t.window_->setBackupJobFactory(&HeldJob::create);
    HeldJob::released = false;
    t.writeProjects("[Held]\nMySQLServer=db\nMySQLDataBase=shop\nBackupDirectory=" +
                    (t.home_ / "backups").string() + "\n");
    ASSERT_TRUE(t.show());
    const std::string before = t.projectFileText();
    ProgressWatch watch([](ProgressWindow* form) {
        if (form->stepLabel->text().startsWith("Backing up MySQL database 'shop' on 'db'"))
            QTest::mouseClick(form->cancelButton, Qt::LeftButton);
    });
    t.click(t.window_->backUpSelectedButton);
    EXPECT_TRUE(t.window_->cancelledLabel->isVisible());
    EXPECT_FALSE(t.window_->successLabel->isVisible());
    // The window went while the job still runs; once it ends the cancel is logged.
    // Meanwhile the application owns what is left of the run, so that a job still
    // running at exit is stopped and joined before the program ends.
    EXPECT_EQ(logText(t.home_).find("Backup canceled by user"), std::string::npos);
    EXPECT_EQ(qApp->findChildren<BackupRunDriver*>(Qt::FindDirectChildrenOnly).size(), 1);
    HeldJob::released = true;
    EXPECT_TRUE(processEventsUntil(
        [&] { return logText(t.home_).find("Backup canceled by user") != std::string::npos; }));
    EXPECT_TRUE(processEventsUntil([] { return qApp->findChildren<BackupRunDriver*>().isEmpty(); }));
    EXPECT_EQ(t.projectFileText(), before);
}

// A run that finds no project (a start without project file leaves the backup
// buttons on) backed up nothing: the outcome says so, never success.
TEST(BackupCommands, EmptyListIsNotASuccess) {
    for (bool all : {false, true}) {
        SCOPED_TRACE(all ? "all projects" : "selected project");
        MainWindowDriver t;
        ASSERT_TRUE(t.show());
        ASSERT_TRUE(t.window_->backUpSelectedButton->isEnabled());
        EXPECT_EQ(errorOutcome(t, all ? t.window_->backUpAllButton : t.window_->backUpSelectedButton),
                  QString::fromLatin1(BackupRun::kNothingToBackUp));
    }
}

// A log that cannot take its lines: the backup is done, the outcome is "with
// errors", and one box names the log, however many lines were lost.
TEST(BackupCommands, LogThatCannotBeWrittenIsShownOnce) {
    MainWindowDriver t;
    makeSite(t.home_);
    t.writeProjects(filesProject(t.home_, "One") + "\n" + filesProject(t.home_, "Two"));
    std::filesystem::create_symlink("/dev/full", t.home_ / "TharvelLog.txt");
    ASSERT_TRUE(t.show());
    const QString box = errorOutcome(t, t.window_->backUpAllButton);
    EXPECT_TRUE(box.startsWith(QStringLiteral("Cannot write the log file '") +
                               QString::fromStdString((t.home_ / "TharvelLog.txt").string())))
        << box.toStdString();
    EXPECT_EQ(readFile(t.home_ / "backups" / "Two" / "site" / "img" / "logo.png"), "png");
}
