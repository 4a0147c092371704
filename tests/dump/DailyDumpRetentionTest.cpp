#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "DumpTestSupport.h"
#include "backup/DatabaseBackup.h"
#include "support/TempDir.h"

namespace tharvel::test {
namespace {

namespace fs = std::filesystem;

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

void touch(const fs::path& file) {
    writeFile(file, "-- " + file.filename().string() + "\r\n");
}

TEST(DailyDumpRetention, KeepsTheNewestDatesOfTheDatabaseAndTouchesNothingElse) {
    struct Case {
        int keep;
        std::vector<std::string> present;  // besides the dump just written, shop_2024-03-10.sql.gz
        std::vector<std::string> deleted;
    };
    const std::vector<std::string> neverDumps = {
        "shop_2024-01-01.sql.partial",
        "shop_2024-01-01.sql.bak",
        "shop_2024-01-01.txt",
        "shop_2024-13-01.sql",
        "shop_2024-02-30.sql",
        "shop_2024-1-01.sql",
        "shop_20240101.sql",
        "Shop_2024-01-01.sql",
        "shop2_2024-01-01.sql",
        "shop_x_2024-01-01.sql",
        "shopping.sql",
        "shop.sql",
        "other_2024-01-01.sql.gz",
        "notes.txt",
    };
    const Case cases[] = {
        // Mixed suffixes; two files of one date count as one date.
        {2,
         {"shop_2024-03-01.sql", "shop_2024-03-09.sql.zst", "shop_2024-03-09.sql", "shop_2024-02-28.sql.gz"},
         {"shop_2024-02-28.sql.gz", "shop_2024-03-01.sql"}},
        {1, {"shop_2024-03-09.sql", "shop_2024-03-10.sql"}, {"shop_2024-03-09.sql"}},
        {5, {"shop_2024-03-09.sql", "shop_2023-03-09.sql.zst"}, {}},
        // A clock set back: later dates stay, and so does the dump just written.
        {1, {"shop_2030-01-01.sql", "shop_2024-03-09.sql"}, {"shop_2024-03-09.sql"}},
        {2,
         {"shop_2030-01-01.sql", "shop_2030-01-02.sql.gz", "shop_2024-03-09.sql"},
         {"shop_2024-03-09.sql"}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const fs::path written = dir / "shop_2024-03-10.sql.gz";
        touch(written);
        for (const std::string& name : neverDumps) touch(dir / name);
        for (const std::string& name : c.present) touch(dir / name);
        // Folders, links and what lies below are never dumps of the folder.
        fs::create_directory(dir / "shop_2020-01-01.sql");
        fs::create_directory(dir / "files");
        touch(dir / "files" / "shop_2020-01-02.sql");
        fs::create_symlink(dir / "files" / "shop_2020-01-02.sql", dir / "shop_2020-01-03.sql");
        const std::set<std::string> before = namesIn(dir.path());

        std::vector<std::string> logged;
        std::vector<fs::path> deleted = DatabaseBackup::pruneDailyDumps(
            written.string(), "shop", c.keep, [&](const std::string& line) { logged.push_back(line); });

        std::set<std::string> expected = before;
        std::vector<std::string> expectedLog;
        std::vector<fs::path> expectedDeleted;
        std::vector<std::string> sortedDeletions = c.deleted;
        std::sort(sortedDeletions.begin(), sortedDeletions.end());
        for (const std::string& name : sortedDeletions) {
            expected.erase(name);
            expectedDeleted.push_back(dir / name);
            expectedLog.push_back("Deleted old dump '" + (dir / name).string() + "'");
        }
        EXPECT_EQ(namesIn(dir.path()), expected) << "keep " << c.keep << ", " << c.present.front();
        EXPECT_EQ(deleted, expectedDeleted) << "keep " << c.keep;
        EXPECT_EQ(logged, expectedLog) << "keep " << c.keep;
        EXPECT_TRUE(fs::exists(dir / "files" / "shop_2020-01-02.sql"));
    }
}

TEST(DailyDumpRetention, NothingIsDeletedWithoutALimitOrADatedDump) {
    TempDir dir;
    for (const char* name : {"shop_2024-03-10.sql", "shop_2024-01-01.sql", "shop.sql"}) touch(dir / name);
    const std::set<std::string> before = namesIn(dir.path());
    auto none = [](const std::string&) { ADD_FAILURE() << "logged a deletion"; };
    EXPECT_TRUE(
        DatabaseBackup::pruneDailyDumps((dir / "shop_2024-03-10.sql").string(), "shop", 0, none).empty());
    EXPECT_TRUE(
        DatabaseBackup::pruneDailyDumps((dir / "shop_2024-03-10.sql").string(), "shop", -3, none).empty());
    // A dump without a date in its name (one file that each backup replaces).
    EXPECT_TRUE(DatabaseBackup::pruneDailyDumps((dir / "shop.sql").string(), "shop", 1, none).empty());
    EXPECT_EQ(namesIn(dir.path()), before);
}

// The older dated dumps, other databases' dumps, other files and the files copy of
// a project folder that a backup with KeepDailyDumps=2 runs into.
struct ProjectFolder {
    explicit ProjectFolder(const fs::path& backupDir, const std::string& database)
        : folder(backupDir / "Web shop"), database(database) {
        fs::create_directories(folder / "site");
        for (const std::string& name : older) touch(folder / name);
        for (const std::string& name : others) touch(folder / name);
        touch(folder / "site" / (database + "_2019-01-01.sql"));
    }
    const fs::path folder;
    const std::string database;
    const std::vector<std::string> older = {database + "_2020-01-01.sql", database + "_2020-01-02.sql.gz",
                                            database + "_2020-01-03.sql.zst", database + "_2020-01-03.sql"};
    const std::vector<std::string> others = {"other_2020-01-01.sql", database + "_2020-01-01.sql.partial",
                                             database + ".sql", "readme.txt"};
};

BackupProject dailyRecord(MariaDb& db, const std::string& database, const fs::path& backupDir) {
    BackupProject r = serverRecord(db, database, backupDir.string() + "/");
    r.newBackupEachDay = 1;
    r.dumpCompression = "gzip";
    r.keepDailyDumps = 2;
    return r;
}

TEST(DailyDumpRetention, ACompleteBackupKeepsTheNewestTwoDatesAndLogsEachDeletion) {
    MariaDb& db = MariaDb::shared();
    const std::string name = db.freshDatabase("retain");
    db.sql("CREATE TABLE t (id INT PRIMARY KEY); INSERT INTO t VALUES (1);", name);
    TempDir dir;
    ProjectFolder project(dir.path(), name);
    const std::set<std::string> before = namesIn(project.folder);

    auto queue = std::make_shared<NotificationQueue>();
    auto notes = runJob(BackupJob::create(dailyRecord(db, name, dir.path()), queue), queue);
    ASSERT_FALSE(notes.empty());
    ASSERT_EQ(notes.back().code, 2) << notes.back().text;
    const std::string success = notes[notes.size() - 2].text;
    const std::string prefix = "Backup MySQL database to: '" + project.folder.string() + "/";
    ASSERT_EQ(success.rfind(prefix, 0), 0u) << success;
    const std::string today =
        success.substr(prefix.size(), success.find('\'', prefix.size()) - prefix.size());
    ASSERT_EQ(today.size(), name.size() + 1 + 10 + 7) << today;  // name_yyyy-mm-dd.sql.gz

    std::set<std::string> expected = before;
    expected.insert(today);
    expected.erase(name + "_2020-01-01.sql");
    expected.erase(name + "_2020-01-02.sql.gz");
    EXPECT_EQ(namesIn(project.folder), expected);
    EXPECT_TRUE(fs::exists(project.folder / "site" / (name + "_2019-01-01.sql")));
    std::vector<std::string> logged;
    for (const auto& note : notes)
        if (note.code == JobNotification::LogLine && note.text.starts_with("Deleted"))
            logged.push_back(note.text);
    EXPECT_EQ(logged,
              (std::vector<std::string>{
                  "Deleted old dump '" + (project.folder / (name + "_2020-01-01.sql")).string() + "'",
                  "Deleted old dump '" + (project.folder / (name + "_2020-01-02.sql.gz")).string() + "'",
              }));
}

// A job that requests its stop at the dump's third row event.
class StoppingJob : public BackupJob {
public:
    static std::shared_ptr<BackupJob> create(const BackupProject& r, std::shared_ptr<NotificationQueue> q) {
        return std::shared_ptr<BackupJob>(new StoppingJob(r, std::move(q)));
    }

protected:
    using BackupJob::BackupJob;
    std::filesystem::path backupDatabase() override {
        int rowEvents = 0;
        return DatabaseBackup::run(
            project(), projectFolder(),
            [&](const std::string& name, int num, int count, int percent) {
                if (percent > 0 && ++rowEvents == 3) terminate();
                dumpProgress(name, num, count, percent);
            },
            {}, [this] { return terminated(); });
    }
};

TEST(DailyDumpRetention, AFailedOrCancelledBackupDeletesNothing) {
    MariaDb& db = MariaDb::shared();
    const std::string name = db.freshDatabase("retainfail");
    db.sql(
        "CREATE TABLE t (id INT PRIMARY KEY); INSERT INTO t VALUES (1), (2), (3), (4), (5), (6), (7), (8);",
        name);
    TempDir dir;
    ProjectFolder project(dir.path(), name);
    const std::set<std::string> before = namesIn(project.folder);
    auto queue = std::make_shared<NotificationQueue>();

    BackupProject wrongPassword = dailyRecord(db, name, dir.path());
    wrongPassword.mysqlPassword = "";
    auto failed = runJob(BackupJob::create(wrongPassword, queue), queue);
    ASSERT_FALSE(failed.empty());
    EXPECT_EQ(failed.back().code, 1);

    BackupProject unknown = dailyRecord(db, name, dir.path());
    unknown.dumpCompression = "bzip2";
    auto refused = runJob(BackupJob::create(unknown, queue), queue);
    ASSERT_FALSE(refused.empty());
    EXPECT_EQ(refused.back().code, 1);
    EXPECT_EQ(refused.back().text, "Unknown dump compression 'bzip2' (none, gzip or zstd)");

    // The dump of a run whose stop came after its last row is complete, yet the run
    // counts as cancelled: it deletes nothing either.
    BackupProject r = dailyRecord(db, name, dir.path());
    const std::string path = DatabaseBackup::run(
        r, project.folder.string() + "/", [](const std::string&, int, int, int) {},
        [](const std::string& line) { ADD_FAILURE() << line; }, [] { return true; });
    EXPECT_TRUE(fs::exists(path));

    auto cancelled = runJob(StoppingJob::create(dailyRecord(db, name, dir.path()), queue), queue);
    ASSERT_FALSE(cancelled.empty());
    EXPECT_EQ(cancelled.back().text, "Operation aborted");

    std::set<std::string> expected = before;
    expected.insert(fs::path(path).filename().string());
    expected.insert(fs::path(path).filename().string() + ".partial");  // left by the cancelled run
    EXPECT_EQ(namesIn(project.folder), expected);
}

}  // namespace
}  // namespace tharvel::test
