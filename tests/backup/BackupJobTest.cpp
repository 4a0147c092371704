#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "FakeDumps.h"
#include "backup/BackupJob.h"
#include "support/RunJob.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using tharvel::BackupJob;
using tharvel::BackupProject;
using tharvel::JobNotification;
using tharvel::NotificationQueue;
using tharvel::test::EndlessDump;
using tharvel::test::readFile;
using tharvel::test::runJob;
using tharvel::test::ScriptedDump;
using tharvel::test::TempDir;
using tharvel::test::writeFile;

namespace {

BackupProject record(const std::string& files, const std::string& backup) {
    BackupProject r;
    r.project = "Web shop";
    r.mysqlPort = "3306";
    r.filesDirectory = files;
    r.backupDirectory = backup;
    r.skipFiles = 1;
    return r;
}

std::vector<int32_t> codes(const std::vector<JobNotification>& notes) {
    std::vector<int32_t> out;
    for (auto& n : notes)
        if (out.empty() || n.code != 10 || out.back() != 10) out.push_back(n.code);
    return out;
}

}  // namespace

TEST(BackupJob, NotificationSequences) {
    TempDir tmp;
    writeFile(tmp / "site" / "a.html", "a");
    writeFile(tmp / "site" / "b" / "c.html", "c");
    const std::string site = (tmp / "site").string() + "/";
    const std::string backups = (tmp / "backups").string() + "/";
    const std::string root = backups + "Web shop/site/";

    struct Case {
        std::string name;
        std::string server, database, files, backup;
        std::vector<int32_t> codes;
        std::vector<std::string> texts;  // of codes 0, 1 and 100, in order; "*": any non-empty text
    };
    const Case cases[] = {
        {"server without database, no files", "localhost", "", "/", backups, {}, {}},
        {"files directory that does not exist", "", "", backups + "missing/", backups, {}, {}},
        {"files only",
         "",
         "",
         site,
         backups,
         {0, 10, 100, 100},
         {"Backing up '" + site + "'", "2 files copied",
          "Backup files to '" + root + "' finished successfully"}},
        // Nothing listens on port 1, so the database step fails.
        {"database step fails: copy skipped",
         "127.0.0.1",
         "shop",
         site,
         backups,
         {0, 1},
         {"Backing up MySQL database 'shop' on '127.0.0.1'", "*"}},
        {"files but no backup directory",
         "",
         "",
         site,
         "/",
         {0, 1},
         {"Backing up '" + site + "'", "Backup directory is not set for project 'Web shop'"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = record(c.files, c.backup);
        r.mysqlServer = c.server;
        r.mysqlDatabase = c.database;
        r.mysqlPort = "1";
        auto queue = std::make_shared<NotificationQueue>();
        auto notes = runJob(BackupJob::create(r, queue), queue);
        EXPECT_EQ(codes(notes), c.codes);
        std::vector<std::string> texts;
        for (size_t i = 0; i < notes.size(); ++i)
            if (notes[i].code != 10 && notes[i].code != 2)
                texts.push_back(c.texts.size() > texts.size() && c.texts[texts.size()] == "*" &&
                                        !notes[i].text.empty()
                                    ? "*"
                                    : notes[i].text);
        EXPECT_EQ(texts, c.texts);
    }
    EXPECT_EQ(readFile(tmp / "backups" / "Web shop" / "site" / "b" / "c.html"), "c");
}

TEST(BackupJob, DatabaseStepSuccessAndDumpProgress) {
    TempDir tmp;
    auto r = record("/", (tmp / "b").string() + "/");
    r.mysqlServer = "localhost";
    r.mysqlDatabase = "shop";
    auto queue = std::make_shared<NotificationQueue>();
    auto notes = runJob(ScriptedDump::create(r, queue), queue);
    const std::string folder = (tmp / "b").string() + "/Web shop/";
    std::vector<JobNotification> expected = {
        {0, 0, "Backing up MySQL database 'shop' on 'localhost'"},
        {10, 0, ""},
        {10, 37, ""},  // 25 + 12.5 rounded to even
        {10, 100, ""},
        {100, 0, "Backup MySQL database to: '" + folder + "shop.sql' finished successfully"},
        {2, 0, ""},
    };
    EXPECT_EQ(notes, expected);
}

TEST(BackupJob, StopDuringDumpReportsOperationAborted) {
    TempDir tmp;
    auto r = record("/", (tmp / "b").string() + "/");
    r.mysqlServer = "localhost";
    r.mysqlDatabase = "shop";
    auto queue = std::make_shared<NotificationQueue>();
    auto job = EndlessDump::create(r, queue);
    int pushes = 0;
    // The wake-up runs on the job's thread after each push; stop at the first progress.
    queue->setWakeup([&] {
        if (++pushes == 2) job->terminate();
    });
    auto notes = runJob(job, queue);
    queue->setWakeup({});
    ASSERT_GE(notes.size(), 2u);
    EXPECT_EQ(notes.front().code, 0);
    EXPECT_EQ(notes.back(), (JobNotification{1, 0, "Operation aborted"}));
}

TEST(BackupJob, StopRequests) {
    TempDir tmp;
    for (int i = 0; i < 10; ++i) writeFile(tmp / "s" / ("f" + std::to_string(i)), "x");
    const std::string backups = (tmp / "b").string() + "/";
    auto r = record((tmp / "s").string() + "/", backups);

    // Stopped before it starts: the copy step never begins.
    {
        auto queue = std::make_shared<NotificationQueue>();
        auto job = BackupJob::create(r, queue);
        job->terminate();
        EXPECT_TRUE(runJob(job, queue).empty());
    }
    // Stopped at the database step's first notification: nothing else is posted.
    {
        auto withDb = r;
        withDb.mysqlServer = "localhost";
        withDb.mysqlDatabase = "shop";
        auto queue = std::make_shared<NotificationQueue>();
        auto job = BackupJob::create(withDb, queue);
        job->terminate();
        auto notes = runJob(job, queue);
        EXPECT_EQ(codes(notes), (std::vector<int32_t>{0}));
    }
    // Stopped during the copy: ends after the file in hand, still posts both result lines.
    {
        auto queue = std::make_shared<NotificationQueue>();
        auto job = BackupJob::create(r, queue);
        queue->setWakeup([&] { job->terminate(); });  // at the step's first notification
        auto notes = runJob(job, queue);
        queue->setWakeup({});
        EXPECT_EQ(codes(notes), (std::vector<int32_t>{0, 100, 100}));
        EXPECT_EQ(notes[1].text, "1 files copied");
        EXPECT_EQ(notes[2].text, "Backup files to '" + backups + "Web shop/s/' finished successfully");
    }
}

TEST(BackupJob, ReleasedWhileRunningStopsOnItsOwn) {
    TempDir tmp;
    auto r = record("/", (tmp / "b").string() + "/");
    r.mysqlServer = "localhost";
    r.mysqlDatabase = "shop";
    auto queue = std::make_shared<NotificationQueue>();
    std::weak_ptr<BackupJob> weak;
    std::atomic<int> pushes{0};
    queue->setWakeup([&] { ++pushes; });
    {
        auto job = EndlessDump::create(r, queue);
        weak = job;
        job->start();
        while (pushes < 3) std::this_thread::yield();  // well into its dump
    }  // the run lets go of it while it still runs: that stops and joins it
    EXPECT_TRUE(weak.expired());
    std::vector<JobNotification> notes;
    for (bool done = false; !done;) {
        queue->waitForEntries(std::chrono::seconds(1));
        for (auto& e : queue->takeAll()) {
            if (e.jobDone)
                done = true;
            else
                notes.push_back(e.note);
        }
    }
    queue->setWakeup({});
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(notes.back(), (JobNotification{1, 0, "Operation aborted"}));
}
