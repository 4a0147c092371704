#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "DumpTestSupport.h"
#include "backup/DatabaseBackup.h"
#include "dump/SqlDump.h"
#include "mysql/MySqlQuery.h"
#include "support/TempDir.h"

namespace tharvel::test {
namespace {

using Clock = std::chrono::steady_clock;

std::string one(MySqlConnection& c, const std::string& sql) {
    MySqlQuery q(c);
    q.open(sql);
    return q.next() && !q.isNull(0) ? std::string(q.value(0)) : "<none>";
}

// The application: every change adds a ledger row and the same amount to the
// one-row total, in one transaction (InnoDB) or under write locks (MyISAM).
// It stops when told or after a minute, whatever happens to the test.
class Writer {
public:
    Writer(const MariaDb& db, const std::string& database, bool locks)
        : thread_([this, &db, database, locks] {
              try {
                  auto c = openConnection(db, database);
                  const auto deadline = Clock::now() + std::chrono::seconds(60);
                  for (int k = 1; !stop_ && Clock::now() < deadline; ++k) {
                      const std::string amount = std::to_string(k % 97 + 1);
                      c->execSql(locks ? "LOCK TABLES ledger WRITE, totals WRITE" : "START TRANSACTION");
                      c->execSql("INSERT INTO ledger (amount) VALUES (" + amount + ")");
                      c->execSql("UPDATE totals SET total = total + " + amount);
                      c->execSql(locks ? "UNLOCK TABLES" : "COMMIT");
                      ++commits_;
                  }
              } catch (const std::exception& e) {
                  error_ = e.what();
              }
          }) {}
    ~Writer() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    int commits() const { return commits_; }
    // True when `more` further changes were made within the time.
    bool waitFor(int more, std::chrono::milliseconds time) const {
        const int target = commits_ + more;
        for (auto end = Clock::now() + time; Clock::now() < end;
             std::this_thread::sleep_for(std::chrono::milliseconds(5)))
            if (commits_ >= target) return true;
        return false;
    }
    const std::string& error() const { return error_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<int> commits_{0};
    std::string error_;
    std::thread thread_;
};

// Restores the dump into a fresh database and checks that the ledger adds up to the
// total written in the same transaction; gives the ledger's sum (-1 when unreadable).
long long restoredLedgerSum(MariaDb& db, const std::filesystem::path& dump, const std::string& name) {
    const std::string restored = db.freshDatabase(name);
    db.runScript(dump, restored);
    const std::string sums =
        db.sql("SELECT (SELECT SUM(amount) FROM ledger), (SELECT total FROM totals)", restored);
    const size_t tab = sums.find('\t');
    EXPECT_NE(tab, std::string::npos) << sums;
    if (tab == std::string::npos) return -1;
    EXPECT_EQ(sums.substr(0, tab) + "\n", sums.substr(tab + 1)) << sums;
    return std::stoll(sums.substr(0, tab));
}

TEST(ConsistentDump, LedgerAndTotalsAgreeWhileTheApplicationWritesThroughTheDump) {
    MariaDb& db = MariaDb::shared();
    for (const char* engine : {"InnoDB", "MyISAM"}) {
        SCOPED_TRACE(engine);
        const bool locks = std::string(engine) == "MyISAM";
        const std::string source = db.freshDatabase("ledger");
        db.sql(std::string(
                   "CREATE TABLE ledger (id INT AUTO_INCREMENT PRIMARY KEY, amount INT NOT NULL) ENGINE=") +
                   engine + "; CREATE TABLE totals (total BIGINT NOT NULL) ENGINE=" + engine +
                   "; INSERT INTO ledger (amount) SELECT seq MOD 50 FROM seq_1_to_3000;"
                   "INSERT INTO totals SELECT SUM(amount) FROM ledger;",
               source);
        auto c = openConnection(db, source);
        c->execSql("SET SESSION TRANSACTION ISOLATION LEVEL READ COMMITTED");
        Writer writer(db, source, locks);
        ASSERT_TRUE(writer.waitFor(20, std::chrono::seconds(10))) << writer.error();

        // Between reading the ledger and reading the totals the application goes on.
        TempDir dir;
        SqlDump::Options options;
        options.connection = c.get();
        bool waited = false, wroteDuringDump = false;
        std::vector<std::string> warnings;
        options.onWarning = [&](const std::string& text) { warnings.push_back(text); };
        options.onProgress = [&](const std::string& name, int, int, int percent) {
            if (name == "ledger" && percent > 0 && !waited) {
                waited = true;
                wroteDuringDump = writer.waitFor(20, std::chrono::milliseconds(locks ? 500 : 10000));
            }
        };
        SqlDump(options).backupToFile((dir / "d.sql").string());
        ASSERT_TRUE(waited);
        EXPECT_TRUE(warnings.empty());
        // The snapshot blocks no writer; the locks hold every writer until the dump ends.
        EXPECT_EQ(wroteDuringDump, !locks);
        // The session is as it was: no transaction, no locks, its isolation level.
        EXPECT_EQ(one(*c, "SELECT @@in_transaction"), "0");
        EXPECT_EQ(one(*c, "SELECT @@SESSION.tx_isolation"), "READ-COMMITTED");
        EXPECT_TRUE(writer.waitFor(5, std::chrono::seconds(10))) << writer.error();
        writer.Stop();
        EXPECT_EQ(writer.error(), "");

        EXPECT_GT(restoredLedgerSum(db, dir / "d.sql", "ledger_restored"), 3000 * 24);
    }
}

TEST(ConsistentDump, LedgerAndTotalsAgreeWhenReadOnSeveralConnections) {
    MariaDb& db = MariaDb::shared();
    const std::string source = db.freshDatabase("ledger_par");
    db.sql(
        "CREATE TABLE ledger (id INT AUTO_INCREMENT PRIMARY KEY, amount INT NOT NULL) ENGINE=InnoDB;"
        "CREATE TABLE totals (total BIGINT NOT NULL) ENGINE=InnoDB;"
        "INSERT INTO ledger (amount) SELECT seq MOD 50 FROM seq_1_to_3000;"
        "INSERT INTO totals SELECT SUM(amount) FROM ledger;",
        source);
    const BackupProject record = serverRecord(db, source, "/");
    auto c = openConnection(db, source);
    Writer writer(db, source, false);
    ASSERT_TRUE(writer.waitFor(20, std::chrono::seconds(10))) << writer.error();

    TempDir dir;
    SqlDump::Options options;
    options.connection = c.get();
    int opened = 0;
    options.openConnection = [&] {
        ++opened;
        return DatabaseBackup::openConnection(record);
    };
    options.connections = 2;
    options.parallelMinBytes = 0;
    bool waited = false, wroteDuringDump = false;
    std::vector<std::string> warnings;
    options.onWarning = [&](const std::string& text) { warnings.push_back(text); };
    options.onProgress = [&](const std::string& name, int, int, int percent) {
        if (name == "ledger" && percent > 0 && !waited) {
            waited = true;
            wroteDuringDump = writer.waitFor(20, std::chrono::seconds(10));
        }
    };
    SqlDump(options).backupToFile((dir / "d.sql").string());
    EXPECT_EQ(opened, 2);  // the reader and the holder of the backup stage
    ASSERT_TRUE(waited);
    EXPECT_TRUE(warnings.empty());
    EXPECT_TRUE(wroteDuringDump);
    EXPECT_EQ(one(*c, "SELECT @@in_transaction"), "0");
    writer.Stop();
    EXPECT_EQ(writer.error(), "");

    EXPECT_GT(restoredLedgerSum(db, dir / "d.sql", "ledger_par_restored"), 3000 * 24);
}

}  // namespace
}  // namespace tharvel::test
