#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "DumpTestSupport.h"
#include "backup/DatabaseBackup.h"
#include "backup/JobCancelled.h"
#include "dump/SqlDump.h"
#include "mysql/MySqlConnection.h"
#include "support/TempDir.h"

namespace tharvel::test {
namespace {

using Event = std::tuple<std::string, int, int, int>;

struct Dumped {
    std::vector<std::string> lines;
    std::vector<Event> events;
};

Dumped dumpDatabase(MariaDb& db, const std::string& database) {
    TempDir dir;
    MySqlConnection connection;
    DatabaseBackup::configure(connection, serverRecord(db, database, "/"));
    connection.open();
    SqlDump::Options options;
    options.connection = &connection;
    Dumped out;
    options.onProgress = [&](const std::string& name, int num, int count, int percent) {
        out.events.emplace_back(name, num, count, percent);
    };
    SqlDump(options).backupToFile((dir / "d.sql").string());
    out.lines = crlfLines(readFile(dir / "d.sql"));
    return out;
}

const std::vector<std::string> kOpening = {
    "/*!40101 SET @OLD_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT */;",
    "/*!40101 SET @OLD_CHARACTER_SET_RESULTS=@@CHARACTER_SET_RESULTS */;",
    "/*!40101 SET @OLD_COLLATION_CONNECTION=@@COLLATION_CONNECTION */;",
    "/*!40101 SET NAMES utf8mb4 */;",
    "/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='NO_AUTO_VALUE_ON_ZERO' */;",
    "/*!40103 SET @OLD_TIME_ZONE=@@TIME_ZONE */;",
    "/*!40103 SET TIME_ZONE='+00:00' */;",
    "/*!40014 SET @OLD_FOREIGN_KEY_CHECKS=@@FOREIGN_KEY_CHECKS, FOREIGN_KEY_CHECKS=0 */;",
};
const std::vector<std::string> kClosing = {
    "/*!40014 SET FOREIGN_KEY_CHECKS=@OLD_FOREIGN_KEY_CHECKS */;",
    "/*!40103 SET TIME_ZONE=@OLD_TIME_ZONE */;",
    "/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;",
    "/*!40101 SET CHARACTER_SET_CLIENT=@OLD_CHARACTER_SET_CLIENT */;",
    "/*!40101 SET CHARACTER_SET_RESULTS=@OLD_CHARACTER_SET_RESULTS */;",
    "/*!40101 SET COLLATION_CONNECTION=@OLD_COLLATION_CONNECTION */;",
};

TEST(SqlDump, AnEmptyDatabaseIsHeaderSessionLinesAndNothingElse) {
    MariaDb& db = MariaDb::shared();
    const std::string name = db.freshDatabase("empty");
    Dumped d = dumpDatabase(db, name);
    ASSERT_EQ(d.lines.size(), 8u + kOpening.size() + kClosing.size());
    EXPECT_EQ(d.lines[0], "-- Vessik version: 5.55.0.39");
    EXPECT_EQ(d.lines[1].rfind("-- MySQL server version: ", 0), 0u);
    EXPECT_NE(d.lines[1].find("MariaDB"), std::string::npos);
    EXPECT_EQ(d.lines[2], "-- MySQL client version: 4.1.3 Direct");
    EXPECT_EQ(d.lines[3].rfind("-- Script date ", 0), 0u);
    EXPECT_EQ(d.lines[4], "-- " + std::string(70, '-') + " ");
    EXPECT_EQ(d.lines[5], "-- Server: 127.0.0.1");
    EXPECT_EQ(d.lines[6], "-- Database: " + name);
    EXPECT_EQ(d.lines[7], "");
    std::vector<std::string> rest(d.lines.begin() + 8, d.lines.end());
    std::vector<std::string> expected = kOpening;
    expected.insert(expected.end(), kClosing.begin(), kClosing.end());
    EXPECT_EQ(rest, expected);
    EXPECT_TRUE(d.events.empty());
}

TEST(SqlDump, WritesTheExampleSectionAndReportsProgressPerObject) {
    MariaDb& db = MariaDb::shared();
    const std::string name = db.freshDatabase("example");
    db.sql(
        "CREATE TABLE t (id INT, name VARCHAR(20)); INSERT INTO t VALUES (1, 'a'), (2, NULL), (3, "
        "'O''Brien');"
        "CREATE TABLE e (id INT); CREATE VIEW v AS SELECT id FROM t;",
        name);
    Dumped d = dumpDatabase(db, name);
    const std::vector<Event> events = {
        {"e", 0, 3, 0},  {"e", 0, 3, 0},  {"e", 0, 3, 0},   {"t", 1, 3, 0}, {"t", 1, 3, 0}, {"t", 1, 3, 0},
        {"t", 1, 3, 33}, {"t", 1, 3, 66}, {"t", 1, 3, 100}, {"v", 2, 3, 0}, {"v", 2, 3, 0},
    };
    EXPECT_EQ(d.events, events);

    std::string create = db.sql("SHOW CREATE TABLE t", name);  // "t<TAB>text" with \n escaped
    create = create.substr(2, create.size() - 3);
    std::vector<std::string> createLines;
    for (size_t pos = 0;;) {
        size_t nl = create.find("\\n", pos);
        createLines.push_back(create.substr(pos, nl == std::string::npos ? nl : nl - pos));
        if (nl == std::string::npos) break;
        pos = nl + 2;
    }
    createLines.back() += ";";
    std::vector<std::string> expected = {"-- ", "-- Table structure for table  t", "-- ", "",
                                         "DROP TABLE IF EXISTS t;"};
    expected.insert(expected.end(), createLines.begin(), createLines.end());
    for (const char* line :
         {"", "-- ", "-- Dumping data for table t", "-- ", "", "LOCK TABLES t WRITE;", "INSERT INTO t VALUES",
          "  (1, 'a'),", "  (2, NULL),", "  (3, 'O\\'Brien');", "UNLOCK TABLES;", ""})
        expected.push_back(line);
    auto at = std::find(d.lines.begin(), d.lines.end(), "-- Table structure for table  t");
    ASSERT_NE(at, d.lines.end());
    std::vector<std::string> section(at - 1, std::min(d.lines.end(), at - 1 + expected.size()));
    EXPECT_EQ(section, expected);
    // The empty table: no LOCK, INSERT or UNLOCK; the view: DROP VIEW and no data part.
    auto e = std::find(d.lines.begin(), d.lines.end(), "-- Dumping data for table e");
    ASSERT_NE(e, d.lines.end());
    EXPECT_EQ(*(e + 1), "-- ");
    EXPECT_EQ(*(e + 2), "");
    EXPECT_EQ(*(e + 3), "");
    EXPECT_EQ(*(e + 4), "-- ");
    EXPECT_NE(std::find(d.lines.begin(), d.lines.end(), "DROP VIEW IF EXISTS v;"), d.lines.end());
    EXPECT_EQ(std::find(d.lines.begin(), d.lines.end(), "-- Dumping data for table v"), d.lines.end());
}

// A job whose dump events go through a test hook before the job's own handler.
class HookedJob : public BackupJob {
public:
    using Hook = std::function<void(BackupJob&, int percent)>;
    static std::shared_ptr<BackupJob> create(const BackupProject& r, std::shared_ptr<NotificationQueue> q,
                                             Hook hook) {
        auto job = std::shared_ptr<HookedJob>(new HookedJob(r, std::move(q)));
        job->hook_ = std::move(hook);
        return job;
    }

protected:
    using BackupJob::BackupJob;
    std::filesystem::path backupDatabase() override {
        lastDumpPercent_ = -1;
        return DatabaseBackup::run(project(), projectFolder(),
                                   [this](const std::string& name, int num, int count, int percent) {
                                       hook_(*this, percent);
                                       dumpProgress(name, num, count, percent);
                                   });
    }

private:
    Hook hook_;
};

TEST(SqlDump, ACancelKeepsTheRowsBeforeItAndThePreviousDump) {
    MariaDb& db = MariaDb::shared();
    const std::string name = db.freshDatabase("cancel");
    db.sql(
        "CREATE TABLE t (id INT PRIMARY KEY); INSERT INTO t VALUES (1), (2), (3), (4), (5), (6), (7), (8), "
        "(9), (10);",
        name);
    TempDir dir;
    const BackupProject r = serverRecord(db, name, dir.path().string() + "/");
    const std::string target = (dir.path() / "Web shop" / (name + ".sql")).string();
    auto queue = std::make_shared<NotificationQueue>();
    auto first = runJob(BackupJob::create(r, queue), queue);
    ASSERT_EQ(first.back().code, 2);
    const std::string good = readFile(target);

    int rowEvents = 0;
    auto notes = runJob(HookedJob::create(r, queue,
                                          [&](BackupJob& job, int percent) {
                                              if (percent > 0 && ++rowEvents == 4) job.terminate();
                                          }),
                        queue);
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.back().code, 1);
    EXPECT_EQ(notes.back().text, "Operation aborted");
    EXPECT_EQ(readFile(target), good);
    std::vector<std::string> partial = crlfLines(readFile(DatabaseBackup::partialPath(target)));
    const std::vector<std::string> tail = {"LOCK TABLES t WRITE;", "INSERT INTO t VALUES", "  (1),", "  (2),",
                                           "  (3),"};
    ASSERT_GE(partial.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(partial.end() - tail.size(), partial.end()), tail);
}

TEST(SqlDump, AServerKilledDuringTheDumpFailsTheJobWith2013) {
    // A private server: this one is killed. Its free port is picked before it binds,
    // so another process may take it meanwhile: one more try then.
    std::unique_ptr<MariaDb> own;
    try {
        own = std::make_unique<MariaDb>();
    } catch (const std::exception&) {
        own = std::make_unique<MariaDb>();
    }
    MariaDb& server = *own;
    server.sql(
        "CREATE DATABASE big; CREATE TABLE big.t (id INT PRIMARY KEY, v LONGTEXT);"
        "INSERT INTO big.t WITH RECURSIVE n(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM n WHERE k < 400) "
        "SELECT k, REPEAT('x', 100000) FROM n;");
    TempDir dir;
    auto queue = std::make_shared<NotificationQueue>();
    bool killed = false;
    auto notes = runJob(HookedJob::create(serverRecord(server, "big", dir.path().string() + "/"), queue,
                                          [&](BackupJob&, int percent) {
                                              if (percent > 0 && !killed) {
                                                  killed = true;
                                                  server.kill();
                                              }
                                          }),
                        queue);
    ASSERT_TRUE(killed);
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.back().code, 1);
    EXPECT_EQ(notes.back().text.rfind("Lost connection to MySQL server during query", 0), 0u)
        << notes.back().text;
    const std::string target = (dir.path() / "Web shop" / "big.sql").string();
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_TRUE(std::filesystem::exists(DatabaseBackup::partialPath(target)));
}

}  // namespace
}  // namespace tharvel::test

namespace tharvel::test {
namespace {

TEST(SqlDump, TimestampsKeepTheirInstantsOnAServerInAnotherZone) {
    MariaDb& berlin = MariaDb::shared();
    const std::string name = berlin.freshDatabase("zones");
    // The autumn hour that Berlin's clocks repeat, and a summer and a winter instant.
    berlin.sql(
        "SET time_zone = '+00:00'; CREATE TABLE t (id INT PRIMARY KEY, ts TIMESTAMP(3) NULL);"
        "INSERT INTO t VALUES (1, '2024-10-27 00:30:00'), (2, '2024-10-27 01:30:00.250'),"
        "(3, '2024-07-01 12:00:00'), (4, '2024-01-01 23:59:59.999');",
        name);
    TempDir dir;
    auto queue = std::make_shared<NotificationQueue>();
    auto notes =
        runJob(BackupJob::create(serverRecord(berlin, name, dir.path().string() + "/"), queue), queue);
    ASSERT_EQ(notes.back().code, 2) << notes.back().text;
    std::unique_ptr<MariaDb> tokyo;
    try {
        tokyo = std::make_unique<MariaDb>("Asia/Tokyo");
    } catch (const std::exception&) {
        tokyo = std::make_unique<MariaDb>("Asia/Tokyo");
    }
    tokyo->sql("CREATE DATABASE restored");
    tokyo->runScript(dir.path() / "Web shop" / (name + ".sql"), "restored");
    const std::string query = "SELECT id, UNIX_TIMESTAMP(ts) FROM t ORDER BY id";
    EXPECT_EQ(tokyo->sql(query, "restored"), berlin.sql(query, name));
    EXPECT_EQ(tokyo->sql(query, "restored"),
              "1\t1729989000.000\n2\t1729992600.250\n3\t1719835200.000\n4\t1704153599.999\n");
}

}  // namespace
}  // namespace tharvel::test
