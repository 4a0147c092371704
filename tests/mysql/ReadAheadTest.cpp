#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "FakeMySqlServer.h"
#include "MySqlTestUtil.h"
#include "mysql/MySqlConnection.h"
#include "mysql/MySqlError.h"
#include "mysql/MySqlQuery.h"
#include "mysql/ReadAhead.h"
#include "support/ThreadCount.h"

using namespace tharvel;
using namespace tharvel::test;

namespace {

// Every row as text ("N" for NULL), read with or without the read-ahead.
std::vector<std::string> readAll(MySqlConnection& c, const std::string& sql, bool ahead) {
    MySqlQuery q(c);
    q.setReadAhead(ahead);
    std::vector<std::string> rows;
    if (!q.open(sql)) return rows;
    while (q.next()) {
        std::string row;
        for (size_t i = 0; i < q.fieldCount(); ++i)
            row.append(q.isNull(i) ? std::string("N") : "[" + std::string(q.value(i)) + "]");
        rows.push_back(std::move(row));
    }
    EXPECT_EQ(q.rowsFetched(), rows.size());
    return rows;
}

// The rows, in order and byte for byte, whatever their sizes: none, one, many small
// ones over several buffers, rows about the size of the room a buffer keeps, and a
// row of more than one 16 MiB packet; plain and compressed.
TEST(ReadAhead, GivesTheRowsOfADirectRead) {
    MariaDb& db = MariaDb::shared();
    const std::string name = db.freshDatabase("read_ahead_rows");
    db.sql(
        "CREATE TABLE t (id INT PRIMARY KEY, v LONGTEXT NULL);"
        "INSERT INTO t SELECT seq, IF(seq MOD 5 = 0, NULL, CONCAT(seq, REPEAT('ab''\\\\', seq MOD 40)))"
        " FROM seq_1_to_60000;"
        "INSERT INTO t SELECT 100000 + seq, REPEAT(CHAR(65 + seq MOD 26), 65536 - 40 + seq) FROM seq_1_to_80;"
        "INSERT INTO t VALUES (200000, REPEAT('w', 16777216 + 5));",
        name);
    struct Case {
        const char* sql;
        size_t rows;
    };
    const Case cases[] = {
        {"SELECT * FROM t WHERE id < 0", 0},
        {"SELECT * FROM t WHERE id = 7", 1},
        {"SELECT * FROM t WHERE id <= 60000 ORDER BY id", 60000},
        {"SELECT * FROM t WHERE id > 100000 AND id < 200000 ORDER BY id", 80},
        {"SELECT * FROM t ORDER BY id DESC LIMIT 3", 3},
        {"SELECT 1 FROM t WHERE id < 0 UNION ALL SELECT 'one'", 1},
    };
    for (bool compress : {false, true}) {
        auto c = connectionTo(db, name);
        c->options().setCompress(compress);
        c->open();
        for (const Case& k : cases) {
            const std::vector<std::string> direct = readAll(*c, k.sql, false);
            EXPECT_EQ(direct.size(), k.rows) << k.sql;
            EXPECT_TRUE(readAll(*c, k.sql, true) == direct) << k.sql << " compressed " << compress;
        }
        // The connection is past each result: the next statement's answer is its own.
        EXPECT_EQ(readAll(*c, "SELECT 41 + 1", true), std::vector<std::string>{"[42]"});
    }
}

// A query closed with rows unread, whether the receiver is still reading (a large
// result) or has already read the end (a small one): the thread is joined, the rest is
// skipped, and the connection answers the next statement.
TEST(ReadAhead, AClosedQueryJoinsTheReaderAndKeepsTheConnectionUsable) {
    MariaDb& db = MariaDb::shared();
    const size_t before = threadCount();
    for (bool compress : {false, true}) {
        auto c = connectionTo(db, db.freshDatabase("read_ahead_close"));
        c->options().setCompress(compress);
        c->open();
        for (const char* sql :
             {"SELECT seq, REPEAT('x', 500) FROM seq_1_to_200000", "SELECT seq FROM seq_1_to_3"}) {
            {
                MySqlQuery q(*c);
                q.setReadAhead(true);
                ASSERT_TRUE(q.open(sql));
                ASSERT_TRUE(q.next());
                EXPECT_EQ(q.value(0), "1");
                ASSERT_TRUE(q.next());
                q.close();
                EXPECT_EQ(threadCountSettled(before), before) << sql;
                EXPECT_FALSE(q.next());
            }
            EXPECT_EQ(readAll(*c, "SELECT 'next'", false), std::vector<std::string>{"[next]"}) << sql;
        }
        // Closing the connection with the rows half read ends the reader first.
        MySqlQuery q(*c);
        q.setReadAhead(true);
        ASSERT_TRUE(q.open("SELECT seq, REPEAT('y', 500) FROM seq_1_to_200000"));
        ASSERT_TRUE(q.next());
        c->close();
        EXPECT_EQ(threadCountSettled(before), before);
        EXPECT_FALSE(c->connected());
    }
}

// What a scripted server's failures mid-result give: the same rows first and then the
// same error, number and text, with the read-ahead as without it.
TEST(ReadAhead, FailuresMidResultReachTheCallerUnchanged) {
    struct Case {
        const char* what;
        // After two rows, from that sequence number; returns what the client sent then.
        std::function<std::string(FakePeer&, uint8_t)> tail;
        int timeout;
    };
    // What the client sends until it closes the connection (its quit, or nothing).
    auto drain = [](FakePeer& p) {
        std::string heard;
        while (!p.atEnd()) heard += p.read().payload;
        return heard;
    };
    const Case cases[] = {
        {"an error packet",
         [&](FakePeer& p, uint8_t seq) {
             p.send(seq, "\xFF\x25\x05#70100Query execution was interrupted");
             return drain(p);
         },
         0},
        {"a closed socket", [](FakePeer&, uint8_t) { return std::string(); }, 0},
        {"a half packet",
         [](FakePeer& p, uint8_t seq) {
             p.sendRaw(std::string("\x20\x00\x00", 3) + static_cast<char>(seq) + "ab");
             return std::string();
         },
         0},
        {"a packet out of order",
         [&](FakePeer& p, uint8_t seq) {
             p.send(static_cast<uint8_t>(seq + 3), lengthCodedText("z"));
             return drain(p);
         },
         0},
        {"a malformed row",
         [&](FakePeer& p, uint8_t seq) {
             p.send(seq,
                    "\xFC\xFF\xFF"
                    "ab");
             return drain(p);
         },
         0},
        {"silence", [&](FakePeer& p, uint8_t) { return drain(p); }, 1},
    };
    for (const Case& k : cases) {
        std::vector<std::string> outcome[2];
        for (bool ahead : {false, true}) {
            std::string heard;
            FakeMySqlServer server([&](FakePeer& p) {
                p.send(0, greeting(41631));
                p.read();
                p.send(2, okPacket());
                p.read();  // SET NAMES
                p.send(1, okPacket());
                p.read();
                p.send(1, "\x01");
                p.send(2, columnDefinition41("a", 253));
                p.send(3, eofPacket());
                p.send(4, lengthCodedText("first"));
                p.send(5, lengthCodedText("second"));
                heard = k.tail(p, 6);
            });
            MySqlConnection c;
            c.setServer("127.0.0.1");
            c.setPort(server.port());
            c.open();
            MySqlQuery q(c);
            q.setReadAhead(ahead);
            if (k.timeout) q.setCommandTimeout(k.timeout);
            std::vector<std::string>& seen = outcome[ahead];
            try {
                ASSERT_TRUE(q.open("SELECT a"));
                while (q.next()) seen.emplace_back(q.value(0));
                seen.emplace_back("end");
            } catch (const MySqlError& e) {
                seen.push_back(std::to_string(e.errorNumber()) + " " + e.what());
            }
            seen.push_back(c.connected() ? "connected" : "closed");
            q.close();
            c.close();
            server.join();
            // A reader left waiting on the socket would keep the client from its quit.
            seen.push_back("heard " + heard);
        }
        ASSERT_EQ(outcome[0].size(), 5u) << k.what;
        EXPECT_EQ(outcome[0][0], "first") << k.what;
        EXPECT_NE(outcome[0][2], "end") << k.what;
        EXPECT_EQ(outcome[1], outcome[0]) << k.what;
    }
}

}  // namespace
