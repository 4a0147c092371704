#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "DumpTestSupport.h"
#include "support/TempDir.h"

namespace tharvel::test {
namespace {

std::string bracket(const std::string& name) {
    std::string out = "`";
    for (char c : name) out += c == '`' ? std::string("``") : std::string(1, c);
    return out + "`";
}

// Names that end a comment line, start a comment inside a statement, read as a
// number, an introducer or a keyword; binary values that end their literal when the
// restoring client reads the file as gbk (0x81 0x5C is one character there).
struct Fixture {
    std::string evil = "tharvel_evil_" + std::to_string(getpid());
    std::string lineBreak = "a\n;CREATE DATABASE " + evil + "_1;\n--";
    std::vector<std::string> tables = {lineBreak, "c\rr",    "t\tb", "a",    "a#b",  "x@y",
                                       "d--d",    "s/*c",    "s;c",  "q'q",  "d\"q", "b`t",
                                       "where",   "_binary", "1e5",  "0x41", "123"};
    std::string sql() const {
        std::string s = "SET NAMES utf8mb4;\n";
        int id = 0;
        for (const std::string& t : tables) {
            const std::string n = std::to_string(++id);
            s += "CREATE TABLE " + bracket(t) + " (id INT PRIMARY KEY, v VARCHAR(20));\n";
            s += "INSERT INTO " + bracket(t) + " VALUES (" + n + ", 'rows of " + n + "');\n";
        }
        // Columns of the same kinds; an invisible one makes the inserts name their columns,
        // a DOUBLE goes through the exact-float select.
        s += "CREATE TABLE " + bracket(lineBreak + "cols") +
             " (`c\nl` INT INVISIBLE DEFAULT 3, `c\rr` INT, `#h` INT, `@v` INT, `--x` INT, `/*c` INT, "
             "`;s` INT, `'q` INT, `\"dq` INT, ```b` INT, `from` INT, `_binary` VARCHAR(5), `1e5` DOUBLE, "
             "`0x41` INT, `42` INT);\n";
        s += "INSERT INTO " + bracket(lineBreak + "cols") +
             " (`c\nl`, `c\rr`, `#h`, `@v`, `--x`, `/*c`, `;s`, `'q`, `\"dq`, ```b`, `from`, `_binary`, "
             "`1e5`, "
             "`0x41`, `42`) VALUES (1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 'x', 0.1, 13, 14), "
             "(NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);\n";
        // A view over the hostile columns, and one listed before it that selects from it.
        s += "CREATE VIEW `v\nw` AS SELECT `c\rr`, `#h`, `1e5` AS `x\ry` FROM " +
             bracket(lineBreak + "cols") + ";\n";
        s += "CREATE VIEW `#w` AS SELECT `#h`, 'lit\nbreak' AS `l\nb` FROM `v\nw`;\n";
        const std::string escape = "CONCAT(UNHEX('815C'), '''); CREATE DATABASE " + evil + "_2; -- ')";
        s += "CREATE TABLE bin (id INT PRIMARY KEY, vb VARBINARY(64), bl BLOB, bn BINARY(8), "
             "cs VARCHAR(60) CHARACTER SET binary, tx TEXT);\n";
        s += "INSERT INTO bin VALUES (1, " + escape + ", " + escape + ", UNHEX('815C815C27815C'), " + escape +
             ", 'plain'), (2, UNHEX('815C'), UNHEX('5C815C'), '', '', ''), (3, '', '', NULL, NULL, NULL);\n";
        // Triggers, routines and sequences with names of the same kinds.
        s += "CREATE TRIGGER " + bracket(trigger) +
             " BEFORE INSERT ON `a#b` FOR EACH ROW SET NEW.v = NEW.v;\n";
        s += "CREATE PROCEDURE " + bracket("p#1\n--") + "() SELECT 1;\n";
        s += "CREATE FUNCTION " + bracket("f;x") + "() RETURNS INT RETURN 2;\n";
        s += "CREATE SEQUENCE " + bracket("s\nq") + ";\n";
        return s;
    }
    std::string trigger = "tr\n;CREATE DATABASE " + evil + "_3;\n--";
};

std::string objects(MariaDb& db, const std::string& schema) {
    return db.sql("SELECT HEX(TRIGGER_NAME) FROM information_schema.TRIGGERS WHERE TRIGGER_SCHEMA = '" +
                  schema +
                  "' UNION ALL SELECT HEX(ROUTINE_NAME) FROM (SELECT ROUTINE_NAME FROM "
                  "information_schema.ROUTINES WHERE ROUTINE_SCHEMA = '" +
                  schema + "' ORDER BY ROUTINE_NAME) r");
}

TEST(HostileDump, NoNameOrBinaryValueRunsAsSqlOnRestoreAndEveryTableComesBackWhole) {
    MariaDb& db = MariaDb::shared();
    Fixture f;
    const std::string source = db.freshDatabase("hostile");
    db.sql(f.sql(), source);
    TempDir dir;
    const JobDump job = dumpWithJob(db, source, dir.path());
    ASSERT_FALSE(job.notes.empty());
    ASSERT_EQ(job.notes.back().code, 2) << job.notes.back().text;
    const std::string& dump = job.path;

    const std::string bytes = readFile(dump);
    EXPECT_EQ(lineBreakFault(bytes), "");
    // Binary values only as hexadecimal: the payload's bytes never stand raw.
    EXPECT_EQ(bytes.find("\x81\x5C"), std::string::npos);

    const std::string before = databaseImage(db, source);
    for (const char* options : {"", "--default-character-set=gbk"}) {
        const std::string restored = db.freshDatabase("hostile_restored");
        ASSERT_NO_THROW(db.runScript(dump, restored, options)) << options;
        const std::string after = databaseImage(db, restored);
        EXPECT_TRUE(after == before) << options << "\ndumped:\n" << before << "\nrestored:\n" << after;
        EXPECT_EQ(db.sql("SELECT id, v FROM `a#b`", restored), "5\trows of 5\n") << options;
        EXPECT_EQ(db.sql("SELECT HEX(bl) FROM bin WHERE id = 2", restored), "5C815C\n") << options;
        EXPECT_EQ(objects(db, restored), objects(db, source)) << options;
    }
    EXPECT_EQ(db.sql("SHOW DATABASES LIKE '" + f.evil + "%'"), "") << "a name or value ran as SQL";
    // The image holds every table and view it compares.
    EXPECT_EQ(db.sql("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = '" + source + "'"),
              std::to_string(f.tables.size() + 5) + "\n");
    const std::string listed = objects(db, source);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 3) << listed;
}

}  // namespace
}  // namespace tharvel::test
