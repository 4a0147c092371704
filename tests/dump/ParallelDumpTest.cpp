#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "DumpTestSupport.h"
#include "backup/DatabaseBackup.h"
#include "dump/SqlDump.h"
#include "mysql/MySqlQuery.h"
#include "projects/PasswordCipher.h"
#include "support/TempDir.h"

namespace tharvel::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> filesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool spoolIn(const fs::path& dir) {
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == ".tmp") return true;
    return false;
}

struct Dumped {
    std::string bytes;  // the file as written
    std::string text;   // uncompressed, without the line of the script's date
    std::string date;
    std::vector<std::string> warnings;
    int opened = 0;        // further connections
    bool spooled = false;  // a table waited in a file beside the dump
};

std::string decompressed(const fs::path& file, Compression compression) {
    if (compression == Compression::None) return readFile(file);
    const fs::path plain = file.string() + ".plain";
    const std::string command = std::string(compression == Compression::Gzip ? "zcat" : "zstd -dcq") +
                                " < '" + file.string() + "' > '" + plain.string() + "'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error(command);
    std::string text = readFile(plain);
    fs::remove(plain);
    return text;
}

// One dump of `record`'s database into dir/name; `connections` 1: the one connection only.
Dumped dump(const BackupProject& record, const fs::path& dir, const std::string& name,
            Compression compression, int connections) {
    Dumped out;
    auto main = DatabaseBackup::openConnection(record);
    SqlDump::Options options;
    options.connection = main.get();
    if (connections > 1) {
        options.openConnection = [&] {
            ++out.opened;
            return DatabaseBackup::openConnection(record);
        };
        options.connections = connections;
        options.parallelMinBytes = 0;
    }
    options.onWarning = [&](const std::string& text) { out.warnings.push_back(text); };
    options.onProgress = [&](const std::string&, int, int, int) {
        if (!out.spooled) out.spooled = spoolIn(dir);
    };
    const fs::path file = dir / name;
    SqlDump(options).backupToFile(file.string(), compression);
    out.bytes = readFile(file);
    std::string text = decompressed(file, compression);
    const size_t at = text.find("-- Script date ");
    if (at != std::string::npos) {
        const size_t end = text.find("\r\n", at);
        out.date = text.substr(at, end - at);
        text.erase(at, end - at);
    }
    out.text = std::move(text);
    return out;
}

std::string firstDifference(const std::string& a, const std::string& b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    const size_t from = i < 200 ? 0 : i - 200;
    return "at byte " + std::to_string(i) + "\none: " + a.substr(from, 400) +
           "\nother: " + b.substr(from, 400);
}

TEST(ParallelDump, GivesTheFileOfTheSerialDumpForEveryCompression) {
    MariaDb& db = MariaDb::shared();
    const std::string source = db.freshDatabase("parallel");
    db.sql(roundTripFixture(), source);
    // Triggers come right after their table's rows, a routine before the views.
    db.sql(
        "CREATE TRIGGER many_bi BEFORE INSERT ON many FOR EACH ROW SET NEW.s = CONCAT(NEW.s, ';');"
        "CREATE TRIGGER ai_au AFTER UPDATE ON ai FOR EACH ROW SET @x = 1;"
        "CREATE PROCEDURE p() SELECT 1;",
        source);
    const BackupProject record = serverRecord(db, source, "/");
    for (Compression compression : {Compression::None, Compression::Gzip, Compression::Zstd}) {
        SCOPED_TRACE(static_cast<int>(compression));
        TempDir dir;
        // The header holds the time to the second: the two dumps are compared when it is the same.
        Dumped serial, parallel;
        for (int attempt = 0; attempt < 5 && (attempt == 0 || serial.date != parallel.date); ++attempt) {
            serial = dump(record, dir.path(), "serial.sql", compression, 1);
            parallel = dump(record, dir.path(), "parallel.sql", compression, 3);
        }
        EXPECT_EQ(serial.opened, 0);
        EXPECT_EQ(parallel.opened, 3);  // and one that holds the backup stage while the snapshots start
        EXPECT_TRUE(parallel.spooled);
        EXPECT_TRUE(parallel.warnings.empty()) << parallel.warnings.front();
        ASSERT_TRUE(parallel.text == serial.text) << firstDifference(serial.text, parallel.text);
        ASSERT_EQ(serial.date, parallel.date);
        EXPECT_TRUE(parallel.bytes == serial.bytes);
        EXPECT_NE(serial.text.find("many_bi"), std::string::npos);
        EXPECT_NE(serial.text.find("INSERT INTO many VALUES"), std::string::npos);
        EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"parallel.sql", "serial.sql"}));
    }
}

TEST(ParallelDump, AStopEndsEveryConnectionAndLeavesOnlyThePartialFile) {
    MariaDb& db = MariaDb::shared();
    struct Case {
        const char* name;
        int connections;
        const char* table;  // the table whose turn it is at the stop
        const char* after;  // the table after it, of which nothing may be written
        const char* spool;  // a spool that must exist by then
        int firstRows;      // rows of the first table
        int secondRows;
        int otherRows;          // rows of the third and the fourth
        bool otherWritesSpool;  // another connection writes the spool: the dump's thread may wait
    };
    const Case cases[] = {
        // The other tables are being read ahead on their own connections.
        {"inside the first table", 4, "a_first", "b_second", ".1.tmp", 40000, 40000, 40000, true},
        // The one worker reads the second table, large, while the dump's own connection
        // is done with the small first one and reads the small third and fourth ahead;
        // only then can it pass on the second table's progress.
        {"while a later table is read ahead", 2, "b_second", "c_third", ".2.tmp", 2000, 160000, 2000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = db.freshDatabase("parstop");
        for (const char* table : {"a_first", "b_second", "c_third", "d_fourth"}) {
            const std::string name = table;
            const int rows = name == "a_first"    ? c.firstRows
                             : name == "b_second" ? c.secondRows
                                                  : c.otherRows;
            db.sql("CREATE TABLE " + name +
                       " (id INT PRIMARY KEY, v VARCHAR(200)) ENGINE=InnoDB; INSERT INTO " + name +
                       " SELECT seq, REPEAT(CHAR(65 + seq MOD 26), 150) FROM seq_1_to_" +
                       std::to_string(rows) + ";",
                   source);
        }
        const BackupProject record = serverRecord(db, source, "/");
        auto main = DatabaseBackup::openConnection(record);
        TempDir dir;
        const fs::path partial = dir.path() / "d.sql.partial";
        SqlDump::Options options;
        options.connection = main.get();
        options.openConnection = [&] { return DatabaseBackup::openConnection(record); };
        options.connections = c.connections;
        options.parallelMinBytes = 0;
        bool stopped = false;
        options.onProgress = [&](const std::string& name, int, int, int percent) {
            if (name != c.table || percent < 20) return;
            // The dump's thread waits here while the other connections go on, so a
            // loaded machine cannot finish the table before the spool is begun.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (c.otherWritesSpool && !fs::exists(partial.string() + c.spool) &&
                   std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (fs::exists(partial.string() + c.spool)) {
                stopped = true;
                throw std::runtime_error("stop");
            }
        };
        EXPECT_THROW(SqlDump(options).backupToFile(partial.string()), std::runtime_error);
        EXPECT_TRUE(stopped);
        EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"d.sql.partial"}));
        // What was written before the stop stays, and nothing after it.
        const std::string text = readFile(partial);
        EXPECT_NE(text.find("INSERT INTO a_first VALUES"), std::string::npos);
        EXPECT_EQ(text.find(c.after), std::string::npos);
        // The further connections are gone; the dump's own is back as it was.
        std::string others;
        for (int i = 0; i < 200; ++i) {
            others = db.sql("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE DB = '" + source +
                            "' AND ID <> " + std::to_string(main->threadId()));
            if (others == "0\n") break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_EQ(others, "0\n");
        MySqlQuery q(*main);
        q.open("SELECT @@in_transaction");
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0), "0");
    }
}

TEST(ParallelDump, FallsBackToOneConnectionWithALogLine) {
    MariaDb& db = MariaDb::shared();
    struct Case {
        const char* name;
        const char* extra;     // SQL for the database
        const char* grants;    // for a user of its own; empty: the test's user
        const char* expected;  // the start of the one warning
        int opened;            // further connections: one per table after the first, one for the lock
    };
    const Case cases[] = {
        {"no global lock for the user", "", "SELECT, SHOW VIEW, LOCK TABLES, TRIGGER, EVENT",
         "Tables are dumped on one connection: the snapshot cannot be shared (", 2},
        {"a table that is not transactional",
         "CREATE TABLE m_flat (id INT) ENGINE=MyISAM; INSERT INTO m_flat VALUES (1);", "",
         "Tables are dumped on one connection: table `m_flat` is not transactional", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = db.freshDatabase("fallback");
        db.sql(
            std::string("CREATE TABLE t1 (id INT PRIMARY KEY) ENGINE=InnoDB; INSERT INTO t1 VALUES (1), (2);"
                        "CREATE TABLE t2 (id INT PRIMARY KEY, s TEXT) ENGINE=InnoDB; INSERT INTO t2 VALUES "
                        "(1, 'x');") +
                c.extra,
            source);
        BackupProject record = serverRecord(db, source, "/");
        if (*c.grants) {
            const std::string user = "nolock";
            db.sql("DROP USER IF EXISTS '" + user + "'@'%'; CREATE USER '" + user +
                   "'@'%' IDENTIFIED BY 'pw'; GRANT " + c.grants + " ON `" + source + "`.* TO '" + user +
                   "'@'%';");
            record.mysqlUser = user;
            record.mysqlPassword = PasswordCipher::encipherPassword("pw");
        }
        TempDir dir;
        Dumped serial, parallel;
        for (int attempt = 0; attempt < 5 && (attempt == 0 || serial.date != parallel.date); ++attempt) {
            serial = dump(record, dir.path(), "serial.sql", Compression::None, 1);
            parallel = dump(record, dir.path(), "parallel.sql", Compression::None, 3);
        }
        // One line more than the serial dump's warnings (this user may not list routines either).
        std::vector<std::string> others;
        int lines = 0;
        for (const std::string& w : parallel.warnings) {
            if (w.rfind("Tables are dumped on one connection", 0) == 0) {
                ++lines;
                EXPECT_EQ(w.rfind(c.expected, 0), 0u) << w;
            } else {
                others.push_back(w);
            }
        }
        EXPECT_EQ(lines, 1) << testing::PrintToString(parallel.warnings);
        EXPECT_EQ(others, serial.warnings);
        EXPECT_EQ(parallel.opened, c.opened);
        EXPECT_FALSE(parallel.spooled);
        EXPECT_TRUE(parallel.text == serial.text) << firstDifference(serial.text, parallel.text);
        EXPECT_NE(parallel.text.find("INSERT INTO t2 VALUES"), std::string::npos);
    }
}

}  // namespace
}  // namespace tharvel::test
