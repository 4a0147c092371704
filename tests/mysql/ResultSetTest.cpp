#include <gtest/gtest.h>

#include <thread>

#include "MySqlTestUtil.h"
#include "mysql/MySqlConnection.h"
#include "mysql/MySqlError.h"
#include "mysql/MySqlQuery.h"

using namespace tharvel;
using tharvel::test::connectionTo;
using tharvel::test::MariaDb;

TEST(MySqlQuery, StreamsValuesWithNullEmptyAndLongLengths) {
    MariaDb& db = MariaDb::shared();
    std::string name = db.freshDatabase("mysql_values");
    db.sql(
        "CREATE TABLE t (id INT PRIMARY KEY, v LONGTEXT NULL);"
        "INSERT INTO t VALUES (1, NULL), (2, ''), (3, 'abc'), (4, REPEAT('x', 250)), (5, REPEAT('y', 300)),"
        " (6, REPEAT('z', 70000)), (7, REPEAT('w', 16777216));",
        name);
    auto c = connectionTo(db, name);
    c->open();
    MySqlQuery q(*c);
    ASSERT_TRUE(q.open("SELECT id, v FROM t ORDER BY id"));
    ASSERT_EQ(q.fieldCount(), 2u);
    struct Row {
        bool null;
        size_t length;
        char fill;
    } expected[] = {{true, 0, 0},      {false, 0, 0},       {false, 3, 0},         {false, 250, 'x'},
                    {false, 300, 'y'}, {false, 70000, 'z'}, {false, 16777216, 'w'}};
    for (const Row& r : expected) {
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.isNull(1), r.null);
        EXPECT_EQ(q.value(1).size(), r.length);
        if (r.fill) {
            EXPECT_EQ(q.value(1).find_first_not_of(r.fill), std::string_view::npos);
        }
    }
    EXPECT_EQ(q.value(0), "7");
    EXPECT_FALSE(q.next());
    EXPECT_EQ(q.rowsFetched(), 7u);
}

TEST(MySqlQuery, FieldDescriptorsAndTheNumericFlag) {
    MariaDb& db = MariaDb::shared();
    std::string name = db.freshDatabase("mysql_fields");
    db.sql(
        "CREATE TABLE t (d DECIMAL(10,2), i INT, f DOUBLE, y YEAR, ts TIMESTAMP NULL, v VARCHAR(20),"
        " b LONGBLOB);",
        name);
    auto c = connectionTo(db, name);
    c->open();
    MySqlQuery q(*c);
    ASSERT_TRUE(q.open("SELECT d, i, f, y, ts, v, b AS blobby FROM t"));
    struct Expect {
        std::string name;
        uint8_t type;
        bool numeric;
    } cases[] = {{"d", 246, true}, {"i", 3, true},    {"f", 5, true},        {"y", 13, true},
                 {"ts", 7, false}, {"v", 253, false}, {"blobby", 252, false}};
    ASSERT_EQ(q.fieldCount(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const FieldInfo& f = q.fields()[i];
        EXPECT_EQ(f.name, cases[i].name);
        EXPECT_EQ(static_cast<uint8_t>(f.type), cases[i].type) << f.name;
        EXPECT_EQ((f.flags & kNumericFlag) != 0, cases[i].numeric) << f.name;
        EXPECT_EQ(f.table, "t");
        EXPECT_EQ(f.database, name);
        EXPECT_LE(f.length, 65535u);
    }
    EXPECT_EQ(q.fields()[6].orgName, "b");
    EXPECT_EQ(q.fields()[6].length, 65535u);  // a LONGBLOB announces 4 GiB
    EXPECT_EQ(q.fields()[0].decimals, 2);
    EXPECT_FALSE(q.next());  // empty table: header, columns, end marker
}

TEST(MySqlQuery, MultiStatementsGiveEveryResult) {
    MariaDb& db = MariaDb::shared();
    std::string name = db.freshDatabase("mysql_multi");
    db.sql("CREATE TABLE t (a INT); INSERT INTO t VALUES (1),(2),(3);", name);
    auto c = connectionTo(db, name);
    c->open();
    // The rows of the first result are left unread; the other results are read in turn.
    EXPECT_EQ(c->execSql("SELECT * FROM t; UPDATE t SET a = a + 10 WHERE a > 1; SELECT 1"), 0u);
    MySqlQuery q(*c);
    ASSERT_TRUE(q.open("SELECT SUM(a) FROM t; SELECT 'second'"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0), "26");
    q.close();
    EXPECT_EQ(c->execSql("UPDATE t SET a = 0 WHERE a > 10"), 2u);
}

TEST(MySqlQuery, SecondQueryWhileRowsAreUnreadIsOutOfSync) {
    MariaDb& db = MariaDb::shared();
    auto c = connectionTo(db, db.freshDatabase("mysql_sync"));
    c->open();
    MySqlQuery first(*c);
    ASSERT_TRUE(first.open("SELECT seq FROM seq_1_to_100000"));
    ASSERT_TRUE(first.next());
    MySqlQuery second(*c);
    try {
        second.open("SELECT 1");
        FAIL() << "second query ran while rows were unread";
    } catch (const MySqlError& e) {
        EXPECT_EQ(e.errorNumber(), 2014);
        EXPECT_EQ(std::string(e.what()), "Commands out of sync;  You can't run this command now");
    }
    EXPECT_TRUE(c->connected());
    first.close();  // skips the 99999 unread rows
    ASSERT_TRUE(second.open("SELECT 'after'"));
    ASSERT_TRUE(second.next());
    EXPECT_EQ(second.value(0), "after");
    // A thousand rows: the sequence number wraps from 255 to 0 several times.
    ASSERT_TRUE(second.open("SELECT seq FROM seq_1_to_1000"));
    uint64_t n = 0;
    while (second.next()) ASSERT_EQ(second.value(0), std::to_string(++n));
    EXPECT_EQ(n, 1000u);
}

TEST(MySqlQuery, ServerErrorsKeepTheConnectionUsable) {
    MariaDb& db = MariaDb::shared();
    std::string name = db.freshDatabase("mysql_errors");
    db.sql("CREATE TABLE t (a INT PRIMARY KEY); INSERT INTO t VALUES (1);", name);
    auto c = connectionTo(db, name);
    c->open();
    try {
        c->execSql("SELECT *\nFROM t\nWHERE");
        FAIL();
    } catch (const MySqlError& e) {
        EXPECT_EQ(e.errorNumber(), 1064);
        EXPECT_EQ(std::string(e.what()).substr(0, 8), "\r\n#42000");
    }
    try {
        c->execSql("INSERT INTO t VALUES (1)");
        FAIL();
    } catch (const MySqlError& e) {
        EXPECT_EQ(e.errorNumber(), 1062);
    }
    EXPECT_TRUE(c->connected());
    EXPECT_EQ(c->execSql("INSERT INTO t VALUES (2), (3)"), 2u);
}

// Read directly and read ahead on a thread of its own alike.
TEST(MySqlQuery, ServerKilledDuringAQueryGives2013AndCloses) {
    for (bool readAhead : {false, true}) {
        SCOPED_TRACE(readAhead ? "read ahead" : "read directly");
        MariaDb server;
        auto c = connectionTo(server, server.freshDatabase("mysql_killed"));
        c->open();
        MySqlQuery q(*c);
        q.setReadAhead(readAhead);
        ASSERT_TRUE(q.open("SELECT seq, REPEAT('x', 1000) FROM seq_1_to_10000000"));
        ASSERT_TRUE(q.next());
        server.kill();
        try {
            while (q.next()) {
            }
            FAIL() << "rows ended normally after the server was killed";
        } catch (const MySqlError& e) {
            EXPECT_EQ(e.errorNumber(), 2013);
            EXPECT_EQ(std::string(e.what()).rfind("Lost connection to MySQL server during query", 0), 0u)
                << e.what();
            EXPECT_TRUE(e.isConnectionLost());
        }
        EXPECT_FALSE(c->connected());
        EXPECT_THROW(q.next(), MySqlError);
    }
}

TEST(MySqlQuery, KillFromAnotherConnection) {
    MariaDb& db = MariaDb::shared();
    auto victim = connectionTo(db);
    auto killer = connectionTo(db);
    victim->open();
    killer->open();
    killer->kill(victim->threadId());
    try {
        victim->execSql("SELECT 1");
        FAIL() << "a killed connection ran a query";
    } catch (const MySqlError& e) {
        EXPECT_TRUE(e.isConnectionLost()) << e.errorNumber() << e.what();
    }
    EXPECT_FALSE(victim->connected());
    EXPECT_THROW(killer->kill(999999), MySqlError);  // unknown thread: the server's error
    EXPECT_TRUE(killer->connected());
}

// Both threads send through the one shared query buffer; each must get its own text.
TEST(MySqlQuery, ThreadsShareTheQueryBufferSafely) {
    MariaDb& db = MariaDb::shared();
    auto run = [&](int id, std::string& failure) {
        try {
            auto c = connectionTo(db);
            c->open();
            for (int i = 0; i < 200; ++i) {
                std::string text(static_cast<size_t>((i * 37 + id * 101) % 3000),
                                 static_cast<char>('a' + id));
                MySqlQuery q(*c);
                q.open("SELECT '" + text + "', " + std::to_string(i));
                if (!q.next() || q.value(0) != text || q.value(1) != std::to_string(i)) {
                    failure = "thread " + std::to_string(id) + " got another text at " + std::to_string(i);
                    return;
                }
            }
        } catch (const std::exception& e) {
            failure = e.what();
        }
    };
    std::string f1, f2;
    std::thread t1(run, 1, std::ref(f1)), t2(run, 2, std::ref(f2));
    t1.join();
    t2.join();
    EXPECT_EQ(f1, "");
    EXPECT_EQ(f2, "");
}
