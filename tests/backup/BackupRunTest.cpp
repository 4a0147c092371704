#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "FakeDumps.h"
#include "backup/BackupRun.h"
#include "projects/ProjectFile.h"
#include "projects/ProjectRules.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using tharvel::BackupJob;
using tharvel::BackupProject;
using tharvel::BackupRun;
using tharvel::ProjectColumn;
using tharvel::ProjectRules;
using tharvel::ProjectTable;
using tharvel::ProjectValue;
using tharvel::test::EndlessDump;
using tharvel::test::readFile;
using tharvel::test::ScriptedDump;
using tharvel::test::TempDir;
using tharvel::test::writeFile;

namespace {

const std::string kStamp = "09/12/2024  14:05:07  ";

std::tm fixedTime() {
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 11;
    t.tm_mday = 9;
    t.tm_hour = 14;
    t.tm_min = 5;
    t.tm_sec = 7;
    return t;
}

struct Recorder : tharvel::BackupRunObserver {
    std::vector<std::string> lines;
    std::vector<int32_t> runProgress;
    std::vector<std::string> names;
    int closes = 0;
    std::function<void()> onStepProgress;
    void logLineWritten(const std::string& line) override { lines.push_back(line); }
    void runProgressChanged(int32_t p) override {
        if (runProgress.empty() || runProgress.back() != p) runProgress.push_back(p);
    }
    void projectNameChanged(const std::string& n) override { names.push_back(n); }
    void stepProgressChanged(int32_t) override {
        if (onStepProgress) onStepProgress();
    }
    void closeWindow() override { ++closes; }
};

void addProject(ProjectTable& table, const std::string& name, const std::string& files,
                const std::string& backups, const std::string& database = "") {
    table.append();
    table.setValue(ProjectColumn::Project, name);
    table.setValue(ProjectColumn::FilesDirectory, files);
    table.setValue(ProjectColumn::BackupDirectory, backups);
    table.setValue(ProjectColumn::SkipFiles, 1);
    if (!database.empty()) {
        // Nothing listens on port 1: a real database step fails to connect.
        table.setValue(ProjectColumn::MySQLServer, "127.0.0.1");
        table.setValue(ProjectColumn::MySQLPort, "1");
        table.setValue(ProjectColumn::MySQLDataBase, database);
    }
    table.post();
}

void drive(BackupRun& run) {
    run.show();
    while (!run.finished()) {
        run.waitForNotifications(std::chrono::seconds(1));
        run.processNotifications();
    }
}

}  // namespace

TEST(BackupRun, OneProjectFilesOnly) {
    TempDir tmp;
    writeFile(tmp / "site" / "a", "a");
    writeFile(tmp / "site" / "b" / "c", "c");
    ProjectTable table;
    ProjectRules rules(table, tmp / "Tharvel.ini");
    const std::string site = (tmp / "site").string();
    const std::string backups = (tmp / "backups").string();
    addProject(table, "Web shop", site, backups);
    table.first();

    Recorder seen;
    BackupRun run(table, (tmp / "TharvelLog.txt").string(), BackupRun::OneProject, &seen, {}, fixedTime);
    drive(run);
    std::vector<std::string> expected = {
        "",
        kStamp + "Starting backup project 'Web shop'",
        kStamp + "Backing up '" + site + "/'",
        kStamp + "2 files copied",
        kStamp + "Backup files to '" + backups + "/Web shop/site/' finished successfully",
        kStamp + "Backup of project 'Web shop' finished successfully",
    };
    EXPECT_EQ(seen.lines, expected);
    std::string bytes;
    for (auto& l : expected) bytes += l + "\r\n";
    EXPECT_EQ(readFile(tmp / "TharvelLog.txt"), bytes);
    EXPECT_EQ(run.runResult(), 0);
    EXPECT_EQ(run.step(), 50);
    EXPECT_EQ(seen.runProgress, (std::vector<int32_t>{100}));
    EXPECT_EQ(seen.closes, 1);
    EXPECT_EQ(readFile(tmp / "backups" / "Web shop" / "site" / "b" / "c"), "c");
    // The stamp was posted, and the post saved the project file.
    ASSERT_TRUE(table.value(ProjectColumn::LastBackup).isDateTime());
    ProjectTable reloaded;
    tharvel::ProjectFile::load(tmp / "Tharvel.ini", reloaded);
    EXPECT_EQ(reloaded.value(ProjectColumn::LastBackup).toText(),
              table.value(ProjectColumn::LastBackup).toText());
}

TEST(BackupRun, OneProjectDatabaseStep) {
    TempDir tmp;
    const std::string backups = (tmp / "b").string();
    struct Case {
        std::string name;
        BackupRun::JobFactory factory;
        int32_t result;
        std::vector<int32_t> runProgress;
        std::string lastLine;
    };
    const Case cases[] = {
        {"dump succeeds", &ScriptedDump::create, 0, {50, 100}, "Backup of project 'P' finished successfully"},
        {"database step fails", {}, 1, {100}, "Backup of project 'P' finished with errors!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProjectTable table;
        addProject(table, "P", "", backups, "shop");
        Recorder seen;
        BackupRun run(table, (tmp / "log.txt").string(), BackupRun::OneProject, &seen, c.factory, fixedTime);
        drive(run);
        EXPECT_EQ(run.runResult(), c.result);
        EXPECT_EQ(seen.runProgress, c.runProgress);
        EXPECT_EQ(seen.lines.back(), kStamp + c.lastLine);
        EXPECT_EQ(table.value(ProjectColumn::LastBackup).isDateTime(), c.result == 0);
        if (c.result == 1) {
            EXPECT_FALSE(run.lastError().empty());
            // A message of several lines is logged line by line.
            const std::string first = run.lastError().substr(0, run.lastError().find("\r\n"));
            EXPECT_NE(std::find(seen.lines.begin(), seen.lines.end(), kStamp + "Error:'" + first),
                      seen.lines.end());
        } else {
            EXPECT_EQ(seen.lines[3], kStamp + "Backup MySQL database to: '" + backups +
                                         "/P/shop.sql' finished successfully");
        }
    }
}

TEST(BackupRun, AllProjectsSecondOfThreeFails) {
    TempDir tmp;
    writeFile(tmp / "s" / "f", "f");
    const std::string backups = (tmp / "b").string();
    ProjectTable table;
    ProjectRules rules(table, tmp / "Tharvel.ini");
    addProject(table, "one", (tmp / "s").string(), backups);
    addProject(table, "two", "", backups, "shop");
    addProject(table, "three", (tmp / "s").string(), backups);
    table.first();
    Recorder seen;
    BackupRun run(table, (tmp / "log.txt").string(), BackupRun::AllProjects, &seen);
    drive(run);
    EXPECT_EQ(run.step(), 17);
    EXPECT_EQ(seen.names, (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(run.runResult(), 1);
    EXPECT_EQ(seen.runProgress, (std::vector<int32_t>{17, 34, 51, 100}));
    EXPECT_EQ(seen.closes, 1);
    EXPECT_TRUE(table.row(0)[static_cast<int>(ProjectColumn::LastBackup)].isDateTime());
    EXPECT_TRUE(table.row(1)[static_cast<int>(ProjectColumn::LastBackup)].isEmpty());
    EXPECT_TRUE(table.row(2)[static_cast<int>(ProjectColumn::LastBackup)].isDateTime());
    EXPECT_TRUE(fs::exists(tmp / "b" / "three" / "s" / "f"));
}

TEST(BackupRun, AllProjectsStepAndEmptyTable) {
    TempDir tmp;
    {
        ProjectTable table;  // 400 projects with nothing set: each one a success
        for (int i = 0; i < 400; ++i) addProject(table, "p" + std::to_string(i), "", "");
        table.first();
        Recorder seen;
        BackupRun run(table, (tmp / "log.txt").string(), BackupRun::AllProjects, &seen);
        drive(run);
        EXPECT_EQ(run.step(), 0);
        EXPECT_EQ(run.runResult(), 0);
        EXPECT_EQ(seen.runProgress, (std::vector<int32_t>{0, 100}));
        EXPECT_EQ(seen.names.size(), 400u);
        for (int i = 0; i < 400; ++i)
            EXPECT_TRUE(table.row(i)[static_cast<int>(ProjectColumn::LastBackup)].isDateTime());
    }
    // A run that finds no project backed up nothing: never a success, in either mode.
    for (auto mode : {BackupRun::AllProjects, BackupRun::OneProject}) {
        ProjectTable table;
        Recorder seen;
        BackupRun run(table, (tmp / "empty.txt").string(), mode, &seen);
        drive(run);
        EXPECT_EQ(run.step(), mode == BackupRun::OneProject ? 50 : 0);
        EXPECT_EQ(run.runResult(), 1);
        EXPECT_EQ(run.lastError(), BackupRun::kNothingToBackUp);
        EXPECT_EQ(seen.lines.size(), 1u);
        EXPECT_NE(seen.lines.back().find(std::string("Error:'") + BackupRun::kNothingToBackUp + "'"),
                  std::string::npos);
        EXPECT_EQ(seen.names.size(), 0u);
        EXPECT_EQ(seen.closes, 1);
    }
}

// A log that stops taking lines (a full disk) ends the run with errors, said once,
// while every project is still backed up.
TEST(BackupRun, LogWriteFailureEndsWithErrorsAndTheBackupGoesOn) {
    TempDir tmp;
    writeFile(tmp / "site" / "a", "a");
    const std::string backups = (tmp / "b").string();
    ProjectTable table;
    addProject(table, "one", (tmp / "site").string(), backups);
    addProject(table, "two", (tmp / "site").string(), backups);
    table.first();
    Recorder seen;
    BackupRun run(table, "/dev/full", BackupRun::AllProjects, &seen);
    drive(run);
    EXPECT_EQ(run.runResult(), 1);
    EXPECT_TRUE(run.lastError().empty());  // no job failed
    EXPECT_NE(run.logError().find("/dev/full"), std::string::npos);
    EXPECT_NE(run.logError().find("No space left on device"), std::string::npos);
    EXPECT_EQ(readFile(tmp / "b" / "one" / "site" / "a"), "a");
    EXPECT_EQ(readFile(tmp / "b" / "two" / "site" / "a"), "a");
    EXPECT_TRUE(table.row(1)[static_cast<int>(ProjectColumn::LastBackup)].isDateTime());
    EXPECT_NE(seen.lines.back().find("Backup of project 'two' finished successfully"), std::string::npos);

    // A cancelled run stays cancelled.
    ProjectTable one;
    addProject(one, "P", "", backups, "shop");
    BackupRun cancelled(one, "/dev/full", BackupRun::OneProject, nullptr, &EndlessDump::create);
    cancelled.show();
    cancelled.close();
    while (!cancelled.finished()) {
        cancelled.waitForNotifications(std::chrono::seconds(1));
        cancelled.processNotifications();
    }
    EXPECT_EQ(cancelled.runResult(), 2);
    EXPECT_FALSE(cancelled.logError().empty());
}

TEST(BackupRun, CancelDuringAJob) {
    TempDir tmp;
    const std::string backups = (tmp / "b").string();
    ProjectTable table;
    addProject(table, "first", "", backups, "shop");
    addProject(table, "second", "", backups);
    table.first();
    Recorder seen;
    BackupRun run(table, (tmp / "log.txt").string(), BackupRun::AllProjects, &seen, &EndlessDump::create);
    seen.onStepProgress = [&] {
        if (!run.closing()) run.close();  // the Cancel button
    };
    drive(run);
    EXPECT_EQ(run.runResult(), 2);
    EXPECT_NE(seen.lines.back().find("  Backup canceled by user"), std::string::npos);
    EXPECT_NE(std::find_if(seen.lines.begin(), seen.lines.end(),
                           [](auto& l) { return l.find("Error:'Operation aborted'") != std::string::npos; }),
              seen.lines.end());
    EXPECT_EQ(seen.names, (std::vector<std::string>{"first"}));
    EXPECT_TRUE(table.row(0)[static_cast<int>(ProjectColumn::LastBackup)].isEmpty());
    EXPECT_EQ(seen.closes, 0);  // the window closed itself at the cancel
}

TEST(BackupRun, ReleasedWhileItsJobRuns) {
    TempDir tmp;
    ProjectTable table;
    addProject(table, "P", "", (tmp / "b").string(), "shop");
    std::weak_ptr<BackupJob> job;
    {
        BackupRun run(table, (tmp / "log.txt").string(), BackupRun::OneProject, nullptr,
                      [&](const BackupProject& r, std::shared_ptr<tharvel::NotificationQueue> q) {
                          auto j = EndlessDump::create(r, std::move(q));
                          job = j;
                          return j;
                      });
        run.show();
        run.close();
    }
    // Releasing the run stopped and joined its job; nothing reaches the released run.
    EXPECT_TRUE(job.expired());
    EXPECT_EQ(readFile(tmp / "log.txt").find("canceled"), std::string::npos);
}
