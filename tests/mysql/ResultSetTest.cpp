#include <gtest/gtest.h>

#include <thread>

#include "MySqlTestUtil.h"
#include "mysql/EMyError.h"
#include "mysql/TMyConnection.h"
#include "mysql/TMyQuery.h"

using namespace tharvel;
using tharvel::test::connectionTo;
using tharvel::test::MariaDb;

TEST(MyQuery, StreamsValuesWithNullEmptyAndLongLengths) {
    MariaDb& db = MariaDb::shared();
    std::string name = db.freshDatabase("mysql_values");
    db.sql(
        "CREATE TABLE t (id INT PRIMARY KEY, v LONGTEXT NULL);"
        "INSERT INTO t VALUES (1, NULL), (2, ''), (3, 'abc'), (4, REPEAT('x', 250)), (5, REPEAT('y', 300)),"
        " (6, REPEAT('z', 70000)), (7, REPEAT('w', 16777216));",
        name);
    auto c = connectionTo(db, name);
    c->Open();
    TMyQuery q(*c);
    ASSERT_TRUE(q.Open("SELECT id, v FROM t ORDER BY id"));
    ASSERT_EQ(q.FieldCount(), 2u);
    struct Row {
        bool null;
        size_t length;
        char fill;
    } expected[] = {{true, 0, 0},      {false, 0, 0},       {false, 3, 0},         {false, 250, 'x'},
                    {false, 300, 'y'}, {false, 70000, 'z'}, {false, 16777216, 'w'}};
    for (const Row& r : expected) {
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.IsNull(1), r.null);
        EXPECT_EQ(q.Value(1).size(), r.length);
        if (r.fill) {
            EXPECT_EQ(q.Value(1).find_first_not_of(r.fill), std::string_view::npos);
        }
    }
    EXPECT_EQ(q.Value(0), "7");
    EXPECT_FALSE(q.next());
    EXPECT_EQ(q.RowsFetched(), 7u);
}

TEST(MyQuery, FieldDescriptorsAndTheNumericFlag) {
    MariaDb& db = MariaDb::shared();
    std::string name = db.freshDatabase("mysql_fields");
    db.sql(
        "CREATE TABLE t (d DECIMAL(10,2), i INT, f DOUBLE, y YEAR, ts TIMESTAMP NULL, v VARCHAR(20),"
        " b LONGBLOB);",
        name);
    auto c = connectionTo(db, name);
    c->Open();
    TMyQuery q(*c);
    ASSERT_TRUE(q.Open("SELECT d, i, f, y, ts, v, b AS blobby FROM t"));
    struct Expect {
        std::string name;
        uint8_t type;
        bool numeric;
    } cases[] = {{"d", 246, true}, {"i", 3, true},    {"f", 5, true},        {"y", 13, true},
                 {"ts", 7, false}, {"v", 253, false}, {"blobby", 252, false}};
    ASSERT_EQ(q.FieldCount(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const TMySqlFieldInfo& f = q.Fields()[i];
        EXPECT_EQ(f.Name, cases[i].name);
        EXPECT_EQ(f.Type, cases[i].type) << f.Name;
        EXPECT_EQ((f.Flags & TMySqlFieldInfo::kNumericFlag) != 0, cases[i].numeric) << f.Name;
        EXPECT_EQ(f.Table, "t");
        EXPECT_EQ(f.Database, name);
        EXPECT_LE(f.Length, 65535u);
    }
    EXPECT_EQ(q.Fields()[6].OrgName, "b");
    EXPECT_EQ(q.Fields()[6].Length, 65535u);  // a LONGBLOB announces 4 GiB
    EXPECT_EQ(q.Fields()[0].Decimals, 2);
    EXPECT_FALSE(q.next());  // empty table: header, columns, end marker
}

TEST(MyQuery, MultiStatementsGiveEveryResult) {
    MariaDb& db = MariaDb::shared();
    std::string name = db.freshDatabase("mysql_multi");
    db.sql("CREATE TABLE t (a INT); INSERT INTO t VALUES (1),(2),(3);", name);
    auto c = connectionTo(db, name);
    c->Open();
    // The rows of the first result are left unread; the other results are read in turn.
    EXPECT_EQ(c->ExecSQL("SELECT * FROM t; UPDATE t SET a = a + 10 WHERE a > 1; SELECT 1"), 0u);
    TMyQuery q(*c);
    ASSERT_TRUE(q.Open("SELECT SUM(a) FROM t; SELECT 'second'"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.Value(0), "26");
    q.close();
    EXPECT_EQ(c->ExecSQL("UPDATE t SET a = 0 WHERE a > 10"), 2u);
}

TEST(MyQuery, SecondQueryWhileRowsAreUnreadIsOutOfSync) {
    MariaDb& db = MariaDb::shared();
    auto c = connectionTo(db, db.freshDatabase("mysql_sync"));
    c->Open();
    TMyQuery first(*c);
    ASSERT_TRUE(first.Open("SELECT seq FROM seq_1_to_100000"));
    ASSERT_TRUE(first.next());
    TMyQuery second(*c);
    try {
        second.Open("SELECT 1");
        FAIL() << "second query ran while rows were unread";
    } catch (const EMyError& e) {
        EXPECT_EQ(e.ErrorNumber(), 2014);
        EXPECT_EQ(std::string(e.what()), "Commands out of sync;  You can't run this command now");
    }
    EXPECT_TRUE(c->Connected());
    first.close();  // skips the 99999 unread rows
    ASSERT_TRUE(second.Open("SELECT 'after'"));
    ASSERT_TRUE(second.next());
    EXPECT_EQ(second.Value(0), "after");
    // A thousand rows: the sequence number wraps from 255 to 0 several times.
    ASSERT_TRUE(second.Open("SELECT seq FROM seq_1_to_1000"));
    uint64_t n = 0;
    while (second.next()) ASSERT_EQ(second.Value(0), std::to_string(++n));
    EXPECT_EQ(n, 1000u);
}

TEST(MyQuery, ServerErrorsKeepTheConnectionUsable) {
    MariaDb& db = MariaDb::shared();
    std::string name = db.freshDatabase("mysql_errors");
    db.sql("CREATE TABLE t (a INT PRIMARY KEY); INSERT INTO t VALUES (1);", name);
    auto c = connectionTo(db, name);
    c->Open();
    try {
        c->ExecSQL("SELECT *\nFROM t\nWHERE");
        FAIL();
    } catch (const EMyError& e) {
        EXPECT_EQ(e.ErrorNumber(), 1064);
        EXPECT_EQ(e.SqlErrorLine(), 3);
        EXPECT_EQ(std::string(e.what()).substr(0, 8), "\r\n#42000");
    }
    try {
        c->ExecSQL("INSERT INTO t VALUES (1)");
        FAIL();
    } catch (const EMyError& e) {
        EXPECT_TRUE(e.IsDuplicateKey());
    }
    EXPECT_TRUE(c->Connected());
    c->Ping();
    EXPECT_EQ(c->ExecSQL("INSERT INTO t VALUES (2), (3)"), 2u);
}

// Read directly and read ahead on a thread of its own alike.
TEST(MyQuery, ServerKilledDuringAQueryGives2013AndCloses) {
    for (bool readAhead : {false, true}) {
        SCOPED_TRACE(readAhead ? "read ahead" : "read directly");
        MariaDb server;
        auto c = connectionTo(server, server.freshDatabase("mysql_killed"));
        c->Open();
        TMyQuery q(*c);
        q.SetReadAhead(readAhead);
        ASSERT_TRUE(q.Open("SELECT seq, REPEAT('x', 1000) FROM seq_1_to_10000000"));
        ASSERT_TRUE(q.next());
        server.kill();
        try {
            while (q.next()) {
            }
            FAIL() << "rows ended normally after the server was killed";
        } catch (const EMyError& e) {
            EXPECT_EQ(e.ErrorNumber(), 2013);
            EXPECT_EQ(std::string(e.what()).rfind("Lost connection to MySQL server during query", 0), 0u)
                << e.what();
            EXPECT_TRUE(e.IsConnectionLost());
        }
        EXPECT_FALSE(c->Connected());
        EXPECT_THROW(q.next(), EMyError);
    }
}

TEST(MyQuery, KillFromAnotherConnection) {
    MariaDb& db = MariaDb::shared();
    auto victim = connectionTo(db);
    auto killer = connectionTo(db);
    victim->Open();
    killer->Open();
    killer->Kill(victim->ThreadId());
    try {
        victim->ExecSQL("SELECT 1");
        FAIL() << "a killed connection ran a query";
    } catch (const EMyError& e) {
        EXPECT_TRUE(e.IsConnectionLost()) << e.ErrorNumber() << e.what();
    }
    EXPECT_FALSE(victim->Connected());
    EXPECT_THROW(killer->Kill(999999), EMyError);  // unknown thread: the server's error
    EXPECT_TRUE(killer->Connected());
}

// Both threads send through the one shared query buffer; each must get its own text.
TEST(MyQuery, ThreadsShareTheQueryBufferSafely) {
    MariaDb& db = MariaDb::shared();
    auto run = [&](int id, std::string& failure) {
        try {
            auto c = connectionTo(db);
            c->Open();
            for (int i = 0; i < 200; ++i) {
                std::string text(static_cast<size_t>((i * 37 + id * 101) % 3000),
                                 static_cast<char>('a' + id));
                TMyQuery q(*c);
                q.Open("SELECT '" + text + "', " + std::to_string(i));
                if (!q.next() || q.Value(0) != text || q.Value(1) != std::to_string(i)) {
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
