#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>

#include "DumpTestSupport.h"
#include "backup/DatabaseBackup.h"
#include "dump/SqlDump.h"
#include "mysql/MySqlConnection.h"
#include "mysql/MySqlQuery.h"
#include "projects/PasswordCipher.h"
#include "support/TempDir.h"

namespace tharvel::test {
namespace {

// Statements sent as they stand by the program's own client: comments, line
// breaks and bytes reach the server unchanged, and no DELIMITER is needed.
void run(MySqlConnection& c, const std::vector<std::string>& statements) {
    for (const std::string& s : statements) c.execSql(s);
}

// Every column of SHOW CREATE for every trigger, routine, event and sequence, as
// raw bytes, without the creation time: what the server knows of each object.
std::string objectImage(MySqlConnection& c) {
    std::string image;
    auto rows = [&](const std::string& sql) {
        std::vector<std::vector<std::string>> out;
        MySqlQuery q(c);
        q.open(sql);
        while (q.next()) {
            out.emplace_back();
            for (size_t i = 0; i < q.fieldCount(); ++i)
                out.back().push_back(q.isNull(i) ? "<NULL>" : std::string(q.value(i)));
        }
        return out;
    };
    auto bracket = [](const std::string& name) {
        std::string out = "`";
        for (char ch : name) out += ch == '`' ? std::string("``") : std::string(1, ch);
        return out + "`";
    };
    c.execSql("SET character_set_results = binary");
    const std::vector<std::pair<std::string, std::string>> lists = {
        {"TRIGGER",
         "SELECT TRIGGER_NAME, CONCAT(EVENT_OBJECT_TABLE, ' ', ACTION_ORDER) FROM "
         "information_schema.TRIGGERS "
         "WHERE TRIGGER_SCHEMA = DATABASE() ORDER BY 1"},
        {"ROUTINE",
         "SELECT ROUTINE_NAME, ROUTINE_TYPE FROM information_schema.ROUTINES WHERE ROUTINE_SCHEMA = "
         "DATABASE() "
         "ORDER BY 2, 1"},
        {"EVENT",
         "SELECT EVENT_NAME, STATUS FROM information_schema.EVENTS WHERE EVENT_SCHEMA = DATABASE() ORDER BY "
         "1"},
        {"SEQUENCE",
         "SELECT TABLE_NAME, TABLE_TYPE FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() AND "
         "TABLE_TYPE = 'SEQUENCE' ORDER BY 1"},
    };
    for (const auto& [kind, sql] : lists) {
        for (const auto& row : rows(sql)) {
            const std::string what = kind == "ROUTINE" ? row[1] : kind;
            image += "== " + what + " " + row[0] + " " + row[1] + "\n";
            MySqlQuery q(c);
            q.open("SHOW CREATE " + what + " " + bracket(row[0]));
            EXPECT_TRUE(q.next()) << what << " " << row[0];
            for (size_t i = 0; i < q.fieldCount(); ++i)
                if (q.fields()[i].name != "Created")
                    image +=
                        q.fields()[i].name + ": " + (q.isNull(i) ? "<NULL>" : std::string(q.value(i))) + "\n";
        }
    }
    c.execSql("SET character_set_results = utf8mb4");
    return image;
}

std::string one(MySqlConnection& c, const std::string& sql) {
    MySqlQuery q(c);
    q.open(sql);
    if (!q.next() || q.isNull(0)) return "<none>";
    return std::string(q.value(0));
}

// The standard client keeps comments inside bodies only when asked to.
void restoreKeepingComments(MariaDb& db, const std::string& file, const std::string& database) {
    TempDir tmp;
    std::string command = "mariadb --no-defaults --comments -uroot -S '" +
                          (db.directory() / "sock").string() + "' '" + database + "' < '" + file + "' 2> '" +
                          (tmp / "err").string() + "'";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("restore failed: " + readFile(tmp / "err"));
}

TEST(StoredObjects, TheStandardClientRestoresEveryDefinitionAndTheSequencesNextValues) {
    MariaDb& db = MariaDb::shared();
    const std::string source = db.freshDatabase("objects");
    auto c = openConnection(db, source);
    const std::string lines = "`order lines; \"x\"`";
    run(*c,
        {
            "SET NAMES utf8mb4",
            "CREATE TABLE audit (id INT AUTO_INCREMENT PRIMARY KEY, what VARCHAR(100)) ENGINE=InnoDB",
            "CREATE TABLE " + lines + " (id INT PRIMARY KEY, qty INT, note VARCHAR(50)) ENGINE=InnoDB",
            "INSERT INTO " + lines + " VALUES (1, 2, 'a'), (2, 5, 'b')",
            "CREATE SEQUENCE seq_plain START WITH 100 INCREMENT BY 7 NOCACHE",
            "CREATE SEQUENCE seq_cached START WITH 1 CACHE 50",
            "CREATE SEQUENCE `seq down` START WITH -1 INCREMENT BY -1 MINVALUE -3 MAXVALUE -1 NOCACHE CYCLE",
            "DO NEXTVAL(seq_plain), NEXTVAL(seq_plain), NEXTVAL(seq_cached)",
            "DO NEXTVAL(`seq down`), NEXTVAL(`seq down`), NEXTVAL(`seq down`), NEXTVAL(`seq down`)",
            // A default that needs the sequence when the table is created.
            "CREATE TABLE invoices (id BIGINT DEFAULT NEXTVAL(seq_plain) PRIMARY KEY, total INT)",
            "INSERT INTO invoices (total) VALUES (10)",
            // Three BEFORE triggers in an order that only their creation order keeps.
            "CREATE TRIGGER `bi; \"1\"` BEFORE INSERT ON " + lines +
                " FOR EACH ROW BEGIN\n  -- doubles; the 'qty'\n  SET NEW.qty = NEW.qty * 2; /* two; */\n"
                "  SET NEW.note = CONCAT(NEW.note, ';;', \"q'\");\nEND",
            "CREATE TRIGGER bi2 BEFORE INSERT ON " + lines +
                " FOR EACH ROW FOLLOWS `bi; \"1\"` SET NEW.qty = NEW.qty + 1",
            "CREATE TRIGGER bi0 BEFORE INSERT ON " + lines +
                " FOR EACH ROW PRECEDES `bi; \"1\"` SET NEW.qty = NEW.qty + 100",
            "CREATE TRIGGER ai AFTER INSERT ON " + lines +
                " FOR EACH ROW INSERT INTO audit (what) VALUES (CONCAT('line ', NEW.id, ';'))",
            // Written in latin1: the body's é is one byte, and must stay one character.
            "SET NAMES latin1",
            "CREATE TRIGGER au BEFORE UPDATE ON audit FOR EACH ROW SET NEW.what = CONCAT(NEW.what, '\xE9')",
            "SET NAMES utf8mb4",
            // Under this sql_mode "..." names things and a backslash is an ordinary character.
            "SET SESSION sql_mode = 'ANSI_QUOTES,NO_BACKSLASH_ESCAPES'",
            "CREATE FUNCTION \"twice; it's\"(x INT) RETURNS VARCHAR(40) DETERMINISTIC BEGIN\n"
            "# hash; comment\nRETURN CONCAT('a\\b;', x * 2); -- end;;\nEND",
            "SET SESSION sql_mode = DEFAULT",
            "CREATE PROCEDURE p_lines(OUT r VARCHAR(20))\r\nBEGIN\r\n  SET r = 'x\ry;;';\r\nEND",
            "CREATE DEFINER = CURRENT_USER PROCEDURE `p$$//` () SQL SECURITY INVOKER SELECT ';;$$//' AS a",
            "SET time_zone = '+05:30'",
            "CREATE EVENT `ev; 1` ON SCHEDULE EVERY 1 DAY STARTS '2030-01-01 00:00:00' ON COMPLETION "
            "PRESERVE "
            "DISABLE COMMENT 'c;' DO INSERT INTO audit (what) VALUES ('tick;')",
            "SET time_zone = '+00:00'",
            "SET SESSION sql_mode = 'ORACLE'",
            "CREATE PACKAGE pkg AS FUNCTION one RETURN INT; END",
            "CREATE PACKAGE BODY pkg AS FUNCTION one RETURN INT AS BEGIN RETURN 1; END; END",
            "SET SESSION sql_mode = DEFAULT",
            // Views on views, one calling a stored function, named so that they sort before what they use.
            "CREATE VIEW v_base AS SELECT id, qty FROM " + lines,
            "CREATE VIEW a_view AS SELECT id, `twice; it's`(qty) AS t FROM v_base",
        });
    const std::string before = objectImage(*c);

    TempDir dir;
    auto queue = std::make_shared<NotificationQueue>();
    auto notes = runJob(BackupJob::create(serverRecord(db, source, dir.path().string() + "/"), queue), queue);
    ASSERT_EQ(notes.back().code, 2) << notes.back().text;
    for (const auto& n : notes) EXPECT_EQ(n.text.rfind("Warning", 0), std::string::npos) << n.text;
    const std::string dump = (dir.path() / "Web shop" / (source + ".sql")).string();

    const std::string restored = db.freshDatabase("objects_restored");
    restoreKeepingComments(db, dump, restored);
    auto r = openConnection(db, restored);
    const std::string after = objectImage(*r);
    EXPECT_EQ(after, before);
    for (const char* object :
         {"== TRIGGER ai", "== TRIGGER au", "== FUNCTION twice; it's", "== PROCEDURE p_lines",
          "== PACKAGE BODY pkg", "== EVENT ev; 1", "== SEQUENCE seq down"})
        EXPECT_NE(before.find(object), std::string::npos) << object;
    EXPECT_EQ(databaseImage(db, restored), databaseImage(db, source));

    // The objects work as before: triggers fire in their order, bodies keep their bytes.
    for (MySqlConnection* each : {c.get(), r.get()}) {
        run(*each,
            {"INSERT INTO " + lines + " (id, qty, note) VALUES (3, 1, 'n')", "UPDATE audit SET what = 'u'"});
        EXPECT_EQ(one(*each, "SELECT CONCAT(qty, ' ', note) FROM " + lines + " WHERE id = 3"), "203 n;;q'");
        EXPECT_EQ(one(*each, "SELECT GROUP_CONCAT(HEX(what)) FROM audit"), "75C3A9");  // 'u' + é
        EXPECT_EQ(one(*each, "SELECT `twice; it's`(4)"), "a\\b;8");
        EXPECT_EQ(one(*each, "SELECT GROUP_CONCAT(t) FROM a_view"), "a\\b;4,a\\b;10,a\\b;406");
        run(*each, {"CALL p_lines(@r)"});
        EXPECT_EQ(one(*each, "SELECT HEX(@r)"), "780D793B3B");
    }
    // A sequence goes on where the source's next use would go on; a cached one
    // past everything the source may have handed out.
    for (const char* s : {"seq_plain", "`seq down`"})
        EXPECT_EQ(one(*r, std::string("SELECT NEXTVAL(") + s + ")"),
                  one(*c, std::string("SELECT NEXTVAL(") + s + ")"))
            << s;
    EXPECT_EQ(one(*r, "SELECT NEXTVAL(seq_cached)"), "51");

    // The plain client drops the comments of bodies but restores every object.
    const std::string plain = db.freshDatabase("objects_plain");
    db.runScript(dump, plain);
    auto p = openConnection(db, plain);
    EXPECT_EQ(one(*p, "SELECT `twice; it's`(1)"), "a\\b;2");
    EXPECT_EQ(one(*p, "SELECT COUNT(*) FROM information_schema.TRIGGERS WHERE TRIGGER_SCHEMA = DATABASE()"),
              "5");
}

using Event = std::tuple<std::string, int, int, int>;

TEST(StoredObjects, EachObjectHasItsSectionAndItsPlaceInTheProgress) {
    MariaDb& db = MariaDb::shared();
    const std::string name = db.freshDatabase("sections");
    auto c = openConnection(db, name);
    run(*c, {"CREATE TABLE t (id INT)", "CREATE TRIGGER tr AFTER INSERT ON t FOR EACH ROW SET @n = NEW.id",
             "CREATE PROCEDURE p() SELECT 1", "CREATE VIEW v AS SELECT id FROM t",
             "CREATE SEQUENCE s NOCACHE", "CREATE EVENT e ON SCHEDULE EVERY 1 HOUR DISABLE DO SET @e = 1"});
    const std::string mode = one(*c, "SELECT @@SESSION.sql_mode");
    TempDir dir;
    SqlDump::Options options;
    options.connection = c.get();
    std::vector<Event> events;
    options.onProgress = [&](const std::string& n, int num, int count, int percent) {
        events.emplace_back(n, num, count, percent);
    };
    SqlDump(options).backupToFile((dir / "d.sql").string());
    const std::vector<Event> expected = {{"s", 0, 6, 0}, {"s", 0, 6, 0},  {"t", 1, 6, 0},  {"t", 1, 6, 0},
                                         {"t", 1, 6, 0}, {"tr", 2, 6, 0}, {"tr", 2, 6, 0}, {"p", 3, 6, 0},
                                         {"p", 3, 6, 0}, {"v", 4, 6, 0},  {"v", 4, 6, 0},  {"e", 5, 6, 0},
                                         {"e", 5, 6, 0}};
    EXPECT_EQ(events, expected);

    const std::vector<std::string> lines = crlfLines(readFile(dir / "d.sql"));
    auto at = std::find(lines.begin(), lines.end(), "-- Trigger structure for trigger  tr");
    ASSERT_NE(at, lines.end());
    // The trigger follows the empty data part of its table.
    EXPECT_EQ(*(at - 2), "");
    EXPECT_EQ(*(at - 3), "");
    EXPECT_EQ(*(at - 5), "-- Dumping data for table t");
    const std::vector<std::string> trigger = {
        "-- ",
        "-- Trigger structure for trigger  tr",
        "-- ",
        "",
        "DROP TRIGGER IF EXISTS tr;",
        "SET @OLD_OBJECT_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT, "
        "@OLD_OBJECT_COLLATION_CONNECTION=@@COLLATION_CONNECTION, @OLD_OBJECT_SQL_MODE=@@SQL_MODE;",
        "SET CHARACTER_SET_CLIENT='utf8mb3', COLLATION_CONNECTION='utf8mb3_general_ci', SQL_MODE='" + mode +
            "';",
        "DELIMITER ;;",
        "CREATE DEFINER=`tharvel`@`%` TRIGGER tr AFTER INSERT ON t FOR EACH ROW SET @n = NEW.id;;",
        "DELIMITER ;",
        "SET CHARACTER_SET_CLIENT=@OLD_OBJECT_CHARACTER_SET_CLIENT, "
        "COLLATION_CONNECTION=@OLD_OBJECT_COLLATION_CONNECTION, SQL_MODE=@OLD_OBJECT_SQL_MODE;",
        "",
        "-- ",
    };
    EXPECT_EQ(std::vector<std::string>(at - 1, std::min(lines.end(), at - 1 + trigger.size())), trigger);
    auto e = std::find(lines.begin(), lines.end(), "-- Event structure for event  e");
    ASSERT_NE(e, lines.end());
    EXPECT_EQ(*(e + 3), "DROP EVENT IF EXISTS e;");
    EXPECT_EQ((e + 4)->find("@OLD_OBJECT_TIME_ZONE=@@TIME_ZONE"), (e + 4)->size() - 34);
    EXPECT_NE((e + 5)->find(", TIME_ZONE='SYSTEM', SQL_MODE="), std::string::npos);
    EXPECT_EQ(*(e + 9),
              "SET CHARACTER_SET_CLIENT=@OLD_OBJECT_CHARACTER_SET_CLIENT, "
              "COLLATION_CONNECTION=@OLD_OBJECT_COLLATION_CONNECTION, SQL_MODE=@OLD_OBJECT_SQL_MODE, "
              "TIME_ZONE=@OLD_OBJECT_TIME_ZONE;");
    auto seq = std::find(lines.begin(), lines.end(), "-- Sequence structure for sequence  s");
    ASSERT_NE(seq, lines.end());
    EXPECT_EQ(*(seq + 3), "DROP TABLE IF EXISTS s;");
    EXPECT_EQ((seq + 4)->rfind("CREATE SEQUENCE `s` start with 1 ", 0), 0u);
    EXPECT_EQ(*(seq + 6), "DO SETVAL(s, 1, 0, 0);");
}

// An account of the test server with only the given grants on the database.
struct Account {
    MariaDb& db;
    std::string user;
    Account(MariaDb& server, const std::string& database, const std::string& stem, const std::string& grants)
        : db(server), user(stem + "_" + std::to_string(getpid())) {
        db.sql("DROP USER IF EXISTS '" + user + "'@'%'; CREATE USER '" + user +
               "'@'%' IDENTIFIED BY 'pw'; GRANT " + grants + " ON `" + database + "`.* TO '" + user +
               "'@'%';");
    }
    ~Account() { db.sql("DROP USER IF EXISTS '" + user + "'@'%'"); }
    BackupProject record(const std::string& database, const std::string& backupDir) const {
        BackupProject r = serverRecord(db, database, backupDir);
        r.mysqlUser = user;
        r.mysqlPassword = PasswordCipher::encipherPassword("pw");
        return r;
    }
};

TEST(StoredObjects, AUserWhoMayNotReadAnObjectIsToldWhichAndWhy) {
    MariaDb& db = MariaDb::shared();
    const std::string name = db.freshDatabase("rights");
    auto c = openConnection(db, name);
    run(*c, {"CREATE TABLE t (id INT) ENGINE=MyISAM", "INSERT INTO t VALUES (1)",
             "CREATE TRIGGER tr AFTER INSERT ON t FOR EACH ROW SET @n = NEW.id",
             "CREATE PROCEDURE `p 1`() SELECT 1",
             "CREATE EVENT e ON SCHEDULE EVERY 1 HOUR DISABLE DO SET @e = 1"});
    auto backup = [&](const Account& account) {
        TempDir dir;
        auto queue = std::make_shared<NotificationQueue>();
        return runJob(BackupJob::create(account.record(name, dir.path().string() + "/"), queue), queue);
    };
    auto logLines = [](const std::vector<JobNotification>& notes) {
        std::vector<std::string> out;
        for (const auto& n : notes)
            if (n.code == JobNotification::LogLine) out.push_back(n.text);
        return out;
    };

    // May read rows only: every kind it cannot list is named, and the MyISAM table
    // is read without the locks it may not take; the backup still succeeds.
    Account reader(db, name, "reader", "SELECT");
    auto notes = backup(reader);
    ASSERT_EQ(notes.back().code, JobNotification::DatabaseDone) << notes.back().text;
    const std::vector<std::string> lines = logLines(notes);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0],
              "Warning: Triggers cannot be listed without the TRIGGER privilege; the dump may lack some");
    EXPECT_EQ(lines[1],
              "Warning: Stored procedures and functions cannot be listed without a privilege on routines or "
              "the SELECT privilege on mysql.proc; the dump may lack some");
    EXPECT_EQ(lines[2],
              "Warning: Events cannot be listed without the EVENT privilege; the dump may lack some");
    EXPECT_EQ(lines[3].rfind("Warning: Tables cannot be locked for the dump (Access denied for user '" +
                                 reader.user + "'@'",
                             0),
              0u)
        << lines[3];
    EXPECT_EQ(lines[4].rfind("Backup MySQL database to: ", 0), 0u);

    // Sees every procedure (a privilege on routines shows them all) but not their
    // text: the backup fails and names the first.
    Account executor(db, name, "executor", "SELECT, LOCK TABLES, TRIGGER, EVENT, EXECUTE");
    notes = backup(executor);
    EXPECT_EQ(notes.back().code, JobNotification::JobFailed);
    EXPECT_EQ(logLines(notes), std::vector<std::string>{});  // it lists all it needs, and may lock
    EXPECT_EQ(notes.back().text,
              "Cannot read the definition of procedure 'p 1': the SELECT privilege on mysql.proc is needed");
}

}  // namespace
}  // namespace tharvel::test
