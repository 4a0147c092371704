#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "DumpTestSupport.h"
#include "dump/DumpScript.h"
#include "dump/SqlLiteral.h"
#include "dump/StreamWriteError.h"
#include "support/TempDir.h"

namespace tharvel {
namespace {

using test::readFile;
using test::TempDir;

TEST(DumpScript, WritesTheTableSectionOfTheExample) {
    TempDir dir;
    {
        DumpStream out((dir / "t.sql").string());
        DumpScript script(out);
        script.structureComment("t");
        script.dropLine("t", false);
        script.createText("CREATE TABLE `t` (\n  `id` int(11) DEFAULT NULL,\n  `name` varchar(20)\n)");
        script.dataComment("t");
        script.lockLine("t");
        SqlLiteral id("id", FieldType::Long, 0, 11, true, 10);
        SqlLiteral name("name", FieldType::VarString, 0, 80, true, 10);
        script.beginRows(DumpScript::insertHead("t", ""));
        const std::pair<const char*, const char*> rows[] = {{"1", "a"}, {"2", nullptr}, {"3", "O'Brien"}};
        for (size_t i = 0; i < 3; ++i) {
            script.endRow(false);
            std::string& line = script.beginRow();
            id.append(line, rows[i].first);
            line += ", ";
            if (rows[i].second)
                name.append(line, rows[i].second);
            else
                SqlLiteral::appendNull(line);
            script.finishRow();
        }
        script.endRow(true);
        script.unlockLine();
        script.emptyLine();
        out.close();
    }
    const std::vector<std::string> expected = {
        "-- ",
        "-- Table structure for table  t",
        "-- ",
        "",
        "DROP TABLE IF EXISTS t;",
        "CREATE TABLE `t` (",
        "  `id` int(11) DEFAULT NULL,",
        "  `name` varchar(20)",
        ");",
        "",
        "-- ",
        "-- Dumping data for table t",
        "-- ",
        "",
        "LOCK TABLES t WRITE;",
        "INSERT INTO t VALUES",
        "  (1, 'a'),",
        "  (2, NULL),",
        "  (3, 'O\\'Brien');",
        "UNLOCK TABLES;",
        "",
    };
    EXPECT_EQ(test::crlfLines(readFile(dir / "t.sql")), expected);
}

// Rows of equal length r: the statement ends at the smallest k with
// h + 2 + k * (r + 2) > 16384 - 2r.
TEST(DumpScript, GroupsRowsIntoStatementsAtTheSizeBoundary) {
    for (size_t r :
         {size_t(5), size_t(100), size_t(1000), size_t(4000), size_t(5459), size_t(5460), size_t(9000)}) {
        TempDir dir;
        const std::string head = DumpScript::insertHead("t", "");
        {
            DumpStream out((dir / "g.sql").string());
            DumpScript script(out);
            script.beginRows(head);
            for (int i = 0; i < 40; ++i) {
                script.endRow(false);
                script.beginRow().append(r - 4, 'x');  // "  (" + value + ")" is r bytes
                script.finishRow();
            }
            script.endRow(true);
            out.close();
        }
        size_t k = 1;
        while (!(head.size() + 2 + k * (r + 2) + 2 * r > 16384)) ++k;
        std::vector<std::string> got = test::crlfLines(readFile(dir / "g.sql"));
        ASSERT_EQ(got[0], head);
        size_t rowsInFirst = 0;
        while (got[1 + rowsInFirst].back() == ',') ++rowsInFirst;
        ++rowsInFirst;
        EXPECT_EQ(rowsInFirst, std::min<size_t>(k, 40)) << "row length " << r;
        EXPECT_EQ(got[1].size(), r + 1);
        if (k < 40) {
            EXPECT_EQ(got[1 + rowsInFirst], head);
        }
        EXPECT_EQ(got.back().back(), ';');
    }
}

TEST(DumpScript, WritesMultiLineTextWithCrLfAndStopsAtZero) {
    TempDir dir;
    {
        DumpStream out((dir / "m.sql").string());
        out.writeText("a\r\nb\nc\rd\n");
        out.writeText("");
        out.writeText(std::string("e\0f", 3));
        out.writeLine("raw\nline");
        out.close();
    }
    EXPECT_EQ(readFile(dir / "m.sql"), "a\r\nb\r\nc\r\nd\r\n\r\ne\r\nraw\nline\r\n");
    struct stat st {};
    ASSERT_EQ(stat((dir / "m.sql").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(DumpScript, AStopKeepsFinishedLinesAndDropsAHalfBuiltRow) {
    TempDir dir;
    {
        DumpStream out((dir / "s.sql").string());
        DumpScript script(out);
        script.beginRows("INSERT INTO t VALUES");
        script.beginRow() += "1";
        script.finishRow();
        script.endRow(false);
        script.beginRow() += "2";
        script.finishRow();
        script.abandonRows();  // finished row: kept, statement left open
        script.endRow(false);
        script.beginRow() += "half";
        script.abandonRows();  // half-built: dropped
    }                          // no Close: the destructor still writes the finished lines
    EXPECT_EQ(readFile(dir / "s.sql"), "INSERT INTO t VALUES\r\n  (1),\r\n  (2),\r\n");
}

// No text in a comment line may end it, and a name whose line break cannot stand in
// a statement line sends that statement through a prepared statement.
TEST(DumpScript, KeepsLineBreaksOfNamesAndServerTextsOutOfTheLines) {
    TempDir dir;
    {
        DumpStream out((dir / "h.sql").string());
        DumpScript script(out);
        script.header("1", "5.5\n;DROP DATABASE x;\r--", "4.1.3 Direct", "today", "db\rhost",
                      std::string_view("shop\0x", 6));
        script.structureComment("`a\r\nb`");
        script.dropLine("`a\r\nb`", false);
        script.createText("CREATE TABLE `a\r\nb` (\n  `c\rd` int\n)");
        script.createText("CREATE TABLE `t` (\n  `v` int COMMENT 'x\\ny'\n)");  // breaks outside quotes only
        script.dataComment("`a\r\nb`");
        script.lockLine("`a\r\nb`");
        script.beginRows(DumpScript::insertHead("`a\r\nb`", ""));
        for (const char* value : {"'it''s'", "2"}) {
            script.endRow(false);
            script.beginRow() += value;
            script.finishRow();
        }
        script.endRow(true);
        out.close();
    }
    const std::string execute =
        "PREPARE tharvel_sql FROM @tharvel_sql; EXECUTE tharvel_sql; DEALLOCATE PREPARE tharvel_sql;";
    const std::vector<std::string> expected = {
        "-- Vessik version: 1",
        "-- MySQL server version: 5.5\\n;DROP DATABASE x;\\r--",
        "-- MySQL client version: 4.1.3 Direct",
        "-- Script date today",
        "-- " + std::string(70, '-') + " ",
        "-- Server: db\\rhost",
        "-- Database: shop\\0x",
        "",
        "-- ",
        "-- Table structure for table  `a\\r\\nb`",
        "-- ",
        "",
        "SET @tharvel_sql = 'DROP TABLE IF EXISTS `a\\r\\nb`';",
        execute,
        "SET @tharvel_sql = 'CREATE TABLE `a\\r\\nb` (\\n  `c\\rd` int\\n)';",
        execute,
        "",
        "CREATE TABLE `t` (",
        "  `v` int COMMENT 'x\\ny'",
        ");",
        "",
        "-- ",
        "-- Dumping data for table `a\\r\\nb`",
        "-- ",
        "",
        "SET @tharvel_sql = 'LOCK TABLES `a\\r\\nb` WRITE';",
        execute,
        "SET @tharvel_sql = 'INSERT INTO `a\\r\\nb` VALUES (\\'it\\'\\'s\\')';",
        execute,
        "SET @tharvel_sql = 'INSERT INTO `a\\r\\nb` VALUES (2)';",
        execute,
    };
    const std::string bytes = readFile(dir / "h.sql");
    EXPECT_EQ(test::crlfLines(bytes), expected);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), std::count(bytes.begin(), bytes.end(), '\r'));
}

// A CREATE text stands as lines only when the client reads it as the one statement
// the server meant.
TEST(DumpScript, PreparesCreateTextsTheClientWouldReadOtherwise) {
    const std::pair<const char*, bool> cases[] = {
        {"CREATE TABLE `t` (\n  `a` int\n)", false},
        {"CREATE TABLE t (c int COMMENT 'it''s\\\\ ok; -- # \\\\! x')", false},
        {"CREATE TABLE t (a int)\n/*!50100 PARTITION BY RANGE (a)\n(PARTITION p0 VALUES LESS THAN (10))*/",
         false},
        {"create view v AS select 1", false},
        {"CREATE TABLE `a\nb` (x int)", true},
        {"CREATE TABLE t (`a``\rb` int)", true},
        {"CREATE VIEW v AS SELECT 'x\\'\ny'", true},      // the escaped quote does not close
        {"CREATE VIEW v AS SELECT 'x\\\\'\n, y", false},  // an escaped backslash does
        {"CREATE VIEW v AS SELECT \"a\nb\"", true},
        {"CREATE VIEW v AS SELECT 'a\\\nb'", true},  // a raw break after a backslash is still raw
        {"CREATE TABLE t (a int); DROP DATABASE shop", true},
        {"CREATE TABLE t (a int)\n\\! rm -rf ~\n", true},
        {"CREATE TABLE t (a int) # swallows the ;", true},
        {"CREATE TABLE t (a int) -- swallows the ;", true},
        {"CREATE TABLE t (a int) COMMENT 'open", true},
        {"CREATE TABLE t (a int) /* open", true},
        {"CREATE TABLE t (a int) /* ; */", true},
        {"CREATE TABLE t (a int) /*! '*/", true},
        {"GRANT ALL ON *.* TO x", true},
        {"system rm -rf ~", true},
        {"", true},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(DumpScript::mustPrepare(text), expected) << text;
}

TEST(DumpScript, ReportsFilesThatCannotBeCreatedOrWritten) {
    TempDir dir;
    try {
        DumpStream out((dir / "missing" / "x.sql").string());
        FAIL() << "created a file in a missing folder";
    } catch (const std::exception& e) {
        std::string expected = "Cannot create file \"" + (dir / "missing" / "x.sql").string() + "\". ";
        EXPECT_EQ(std::string(e.what()).substr(0, expected.size()), expected);
    }
    DumpStream full("/dev/full");
    full.writeLine("x");
    EXPECT_THROW(
        {
            try {
                full.close();
            } catch (const std::exception& e) {
                EXPECT_STREQ(e.what(), "Stream write error");
                EXPECT_TRUE(dynamic_cast<const StreamWriteError&>(e).diskFull());
                throw;
            }
        },
        std::runtime_error);
}

}  // namespace
}  // namespace tharvel
