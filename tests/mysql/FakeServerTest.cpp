#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <algorithm>

#include "FakeMySqlServer.h"
#include "MySqlTestUtil.h"
#include "dump/SqlDump.h"
#include "mysql/MySqlConnection.h"
#include "mysql/MySqlError.h"
#include "mysql/MySqlQuery.h"
#include "mysql/ResultSet.h"
#include "mysql/Session.h"
#include "support/MariaDb.h"
#include "support/TempDir.h"
#include "support/TestCertificates.h"

using namespace tharvel;
using namespace tharvel::test;

namespace {

constexpr uint16_t kServer41 = 41631;  // long password, flags, db, local files, 4.1, transactions, secure
constexpr uint16_t kServer40 = 8333;   // no 4.1 protocol, no secure connection
constexpr uint16_t kServer323 = 133;   // not even CONNECT_WITH_DB

std::string token41(const std::string& password, const std::string& scramble) {
    auto t = Session::scramble41(
        password, std::span<const uint8_t, 20>(reinterpret_cast<const uint8_t*>(scramble.data()), 20));
    return std::string(t.begin(), t.end());
}

std::string oldAnswer(const std::string& password, const std::string& seed) {
    auto a = Session::scrambleOld(
        password, std::span<const uint8_t, 8>(reinterpret_cast<const uint8_t*>(seed.data()), 8));
    return std::string(a.begin(), a.end());
}

std::string sha1(const std::string& s) {
    unsigned char d[20];
    SHA1(reinterpret_cast<const unsigned char*>(s.data()), s.size(), d);
    return std::string(reinterpret_cast<char*>(d), 20);
}

// Greeting, login response (handed to check), OK.
void login(FakePeer& p, uint16_t caps, const std::function<void(const std::string&)>& check = {}) {
    p.send(0, greeting(caps, (caps & 32768) != 0));
    auto response = p.read();
    EXPECT_EQ(response.seq, 1);
    if (check) check(response.payload);
    p.send(2, okPacket());
}

using Api = DrivenSession;

}  // namespace

TEST(FakeServer, LoginResponseBytes) {
    std::string fixed41 = le(238223, 4) + le(1073741824, 4) + "\x08" + std::string(23, '\0');
    std::string fixed40 = le(41103, 2) + le(0, 3);
    struct Case {
        uint16_t caps;
        std::string password, database, expected;
    } cases[] = {
        {kServer41, "pw", "", fixed41 + "u" + '\0' + '\x14' + token41("pw", kScramble) + '\0'},
        {kServer41, "", "abcd", fixed41 + "u" + '\0' + '\0' + "abcd"},
        {kServer41, "", "", fixed41 + "u" + '\0' + '\0' + '\0'},
        {kServer40, "pw", "abcd", fixed40 + "u" + '\0' + oldAnswer("pw", kScramble) + "abcd"},
        {kServer40, "", "", fixed40 + "u" + '\0' + '\0' + '\0'},
        {kServer323, "pw", "",
         le(41103, 2) + le(0, 3) + "u" + '\0' + oldAnswer("pw", kScramble).substr(0, 8)},
    };
    for (const Case& k : cases) {
        std::string got;
        FakeMySqlServer server([&](FakePeer& p) {
            login(p, k.caps, [&](const std::string& r) { got = r; });
            auto quit = p.read();
            EXPECT_EQ(quit.payload, "\x01");
        });
        {
            Api a;
            EXPECT_TRUE(a.connect(server.port(), "u", k.password, k.database)) << a.error;
        }
        server.join();
        EXPECT_EQ(got, k.expected) << "caps " << k.caps << " password '" << k.password << "'";
    }
}

TEST(FakeServer, OldPasswordSwitchAndIntermediateExchanges) {
    std::string newScramble = "ZYXWVUTSRQPONMLKJIHG";
    std::string salt = "ABCD";
    std::string h = sha1("pw");  // spaces and tabs of the password do not count
    std::string s = sha1(salt + h);
    std::string x(20, '\0'), answer(20, '\0');
    for (int i = 0; i < 20; ++i) {
        x[i] = static_cast<char>(i * 7 + 1);
        answer[i] = static_cast<char>(x[i] ^ s[i] ^ h[i]);
    }
    struct Case {
        std::string reply, expected;
    } cases[] = {
        {"\xFE", oldAnswer("p w", kScramble)},
        {"*xyz" + newScramble, oldAnswer("p w", newScramble)},
        {salt + x, answer},
    };
    for (const Case& k : cases) {
        std::string got;
        uint8_t seq = 0;
        FakeMySqlServer server([&](FakePeer& p) {
            p.send(0, greeting(kServer41));
            p.read();
            p.send(2, k.reply);
            auto next = p.read();
            got = next.payload;
            seq = next.seq;
            p.send(4, okPacket());
        });
        Api a;
        EXPECT_TRUE(a.connect(server.port(), "u", "p w")) << a.error;
        server.join();
        EXPECT_EQ(seq, 3);
        EXPECT_EQ(got, k.expected);
    }
}

TEST(FakeServer, BadGreetingsAndRepliesFailTheLogin) {
    struct Case {
        std::string name;
        std::function<void(FakePeer&)> script;
        int code;
        std::string message;
    } cases[] = {
        {"protocol 9", [](FakePeer& p) { p.send(0, greeting(kServer41, true, 9)); }, 2007,
         "Protocol mismatch. Server Version = 9 Client Version = 10"},
        {"out of order", [](FakePeer& p) { p.send(1, greeting(kServer41)); }, 1156,
         "\r\nReceiveHeader: Net packets out of order: received[1], expected[0]"},
        {"error instead of greeting",
         [](FakePeer& p) { p.send(0, "\xFF" + le(1130, 2) + "Host 'x' is not allowed to connect"); }, 1130,
         "\r\nHost 'x' is not allowed to connect"},
        {"truncated greeting",
         [](FakePeer& p) {
             p.send(0, std::string("\x0a"
                                   "5.0\0"
                                   "\x01\x02",
                                   7));
         },
         2027, "Malformed packet"},
        {"closed after greeting",
         [](FakePeer& p) {
             p.send(0, greeting(kServer41));
             p.read();
         },
         2013, "Lost connection to MySQL server during query"},
        {"unknown plugin",
         [](FakePeer& p) {
             p.send(0, greeting(kServer41));
             p.read();
             p.send(2, std::string("\xFE"
                                   "auth_gssapi_client\0",
                                   20));
         },
         2012,
         "Error in server handshake\r\nThe server asks for the authentication plugin 'auth_gssapi_client', "
         "which "
         "this "
         "client does not support"},
    };
    for (const Case& k : cases) {
        FakeMySqlServer server(k.script);
        Api a;
        EXPECT_FALSE(a.connect(server.port())) << k.name;
        EXPECT_EQ(a.errorNumber, k.code) << k.name;
        EXPECT_EQ(a.error, k.message) << k.name;
    }
}

TEST(FakeServer, SetNamesFollowsLoginOnlyFrom41On) {
    struct Case {
        std::string version;
        uint16_t caps;
        bool unicode;
        std::string charset, expected;
    } cases[] = {
        {"4.0.27", kServer40, true, "", ""},
        {"4.1.22", kServer41, false, "utf8", "\x03SET NAMES utf8"},
        {"5.0.96", kServer41, true, "", "\x03SET NAMES utf8"},
        {"5.0.96", kServer41, false, "", ""},
        {"5.5.5-10.11.6-MariaDB", kServer41, false, "utf8mb4", "\x03SET NAMES utf8mb4"},
    };
    for (const Case& k : cases) {
        std::string statement;
        FakeMySqlServer server([&](FakePeer& p) {
            p.send(0, greeting(k.caps, (k.caps & 32768) != 0, 10, k.version));
            p.read();
            p.send(2, okPacket());
            auto next = p.read();
            if (next.payload != "\x01") {
                statement = next.payload;
                p.send(1, okPacket());
                next = p.read();
            }
            EXPECT_EQ(next.payload, "\x01") << "only the quit command follows";
        });
        {
            MySqlConnection c;
            c.setServer("127.0.0.1");
            c.setPort(server.port());
            c.options().setUseUnicode(k.unicode);
            c.options().setCharset(k.charset);
            c.open();
            EXPECT_EQ(c.serverVersionText(), k.version);
        }
        server.join();
        EXPECT_EQ(statement, k.expected) << k.version;
    }
}

TEST(FakeServer, LocalFileRequestIsRefusedWithoutContent) {
    FakeMySqlServer server([](FakePeer& p) {
        login(p, kServer41);
        p.read();  // SET NAMES
        p.send(1, okPacket());
        auto query = p.read();
        EXPECT_EQ(query.payload.substr(1, 9), "LOAD DATA");
        p.send(1, "\xFB/home/user/.config/tharvel/Tharvel.ini");
        auto content = p.read();
        EXPECT_EQ(content.seq, 2);
        EXPECT_EQ(content.payload, "") << "no file content is sent";
        p.send(3, okPacket());
        auto again = p.read();
        EXPECT_EQ(again.payload,
                  "\x03"
                  "DO 1");
        p.send(1, okPacket());
        p.read();  // quit
    });
    MySqlConnection c;
    c.setServer("127.0.0.1");
    c.setPort(server.port());
    c.open();
    try {
        c.execSql("LOAD DATA LOCAL INFILE 'x' INTO TABLE t");
        FAIL() << "a local-file request passed silently";
    } catch (const MySqlError& e) {
        EXPECT_EQ(e.errorNumber(), 2000);
        EXPECT_NE(std::string(e.what()).find("'/home/user/.config/tharvel/Tharvel.ini'"), std::string::npos);
    }
    EXPECT_TRUE(c.connected());
    c.execSql("DO 1");
}

TEST(FakeServer, PayloadsSplitAt16MiB) {
    const size_t kMax = 16777215;
    struct Case {
        size_t textLength;
        std::vector<size_t> packets;
    } cases[] = {
        {99999, {100000}},
        {kMax - 1, {kMax, 0}},
        {kMax, {kMax, 1}},
        {2 * kMax + 5, {kMax, kMax, 6}},
    };
    FakeMySqlServer server([&](FakePeer& p) {
        login(p, kServer41);
        for (const Case& k : cases) {
            size_t total = 0;
            for (size_t i = 0; i < k.packets.size(); ++i) {
                auto packet = p.read();
                EXPECT_EQ(packet.seq, i);
                EXPECT_EQ(packet.payload.size(), k.packets[i]);
                if (i == 0) {
                    EXPECT_EQ(packet.payload[0], '\x03');
                }
                total += packet.payload.size();
            }
            EXPECT_EQ(total, k.textLength + 1);
            p.send(static_cast<uint8_t>(k.packets.size()), okPacket());
        }
        // A row of 16777215 + 10 bytes comes as a full packet and a 10-byte one.
        p.read();
        std::string row = lengthCoded(16777216) + std::string(16777216, 'r');
        ASSERT_EQ(row.size(), kMax + 10);
        p.send(1, "\x01");
        p.send(2, columnDefinition41("c", 251, 0xFFFFFFFF));
        p.send(3, eofPacket());
        p.send(4, row.substr(0, kMax));
        p.send(5, row.substr(kMax));
        p.send(6, eofPacket());
        p.read();  // quit
    });
    Api a;
    ASSERT_TRUE(a.connect(server.port())) << a.error;
    for (const Case& k : cases) {
        std::string text(k.textLength, 's');
        EXPECT_EQ(a.query(text), 0) << a.error;
    }
    ASSERT_EQ(a.query("SELECT c"), 0);
    std::unique_ptr<ResultSet> r = a.useResult();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->columns()[0].length, 65535u);
    const RowValues* row = a.fetchRow(*r);
    ASSERT_NE(row, nullptr) << a.error;
    EXPECT_EQ(row->value(0).size(), 16777216u);
    EXPECT_EQ(a.fetchRow(*r), nullptr);
    EXPECT_EQ(a.errorNumber, 0);
    r.reset();
}

TEST(FakeServer, CompressedFraming) {
    std::string bigText(100000, 'a');
    FakeMySqlServer server([&](FakePeer& p) {
        p.send(0, greeting(kServer41 | 32));
        auto response = p.read();
        EXPECT_EQ(static_cast<uint8_t>(response.payload[0]) & 32, 32) << "COMPRESS requested";
        p.send(2, okPacket());
        // A short command goes out as it is: 4-byte header and 40-byte payload.
        auto small = p.readFrame();
        EXPECT_EQ(small.seq, 0);
        EXPECT_EQ(small.inflatedLength, 0u);
        EXPECT_EQ(small.payload.size(), 44u);
        EXPECT_EQ(small.payload.substr(0, 5), le(40, 3) + '\0' + '\x03');
        p.sendFrame(1, le(okPacket(5).size(), 3) + '\x01' + okPacket(5), false);
        // A long one is deflated, possibly over several frames.
        std::string inner;
        uint8_t seq = 0;
        while (inner.size() < 4 + bigText.size() + 1) {
            auto f = p.readFrame();
            EXPECT_EQ(f.seq, seq++);
            EXPECT_GT(f.inflatedLength, 0u);
            inner += f.inflated;
        }
        EXPECT_EQ(inner, le(100001, 3) + '\0' + '\x03' + bigText);
        // A result: header and columns in one deflated frame, the row plain.
        std::string packets = le(1, 3) + '\x01' + "\x01" + le(0, 0);
        std::string def = columnDefinition41("c", 253);
        packets += le(def.size(), 3) + '\x02' + def;
        packets += le(5, 3) + '\x03' + eofPacket();
        p.sendFrame(seq++, packets, true);
        std::string row = lengthCodedText("hello");
        p.sendFrame(seq++, le(row.size(), 3) + '\x04' + row + le(5, 3) + '\x05' + eofPacket(), false);
        p.readFrame();  // quit
    });
    Api a;
    ASSERT_TRUE(a.connect(server.port(), "u", "pw", "", 2 + 65536 + 32)) << a.error;
    std::string text(39, 'q');
    EXPECT_EQ(a.query(text), 0) << a.error;
    EXPECT_EQ(a.session.affectedRows, 5u);
    ASSERT_EQ(a.query(bigText), 0) << a.error;
    std::unique_ptr<ResultSet> r = a.useResult();
    ASSERT_NE(r, nullptr);
    const RowValues* row = a.fetchRow(*r);
    ASSERT_NE(row, nullptr) << a.error;
    EXPECT_EQ(row->value(0), "hello");
    EXPECT_EQ(a.fetchRow(*r), nullptr);
    r.reset();
}

TEST(FakeServer, MalformedRepliesEndInAClientError) {
    std::string def = columnDefinition41("c", 253);
    struct Case {
        std::string name;
        std::vector<std::string> reply;
        bool atFetch;
    } cases[] = {
        {"column count of millions", {lengthCoded(3000000)}, false},
        {"truncated definition",
         {"\x01",
          "\x03"
          "de",
          eofPacket()},
         false},
        {"definition without fixed block", {"\x01", def.substr(0, def.size() - 13), eofPacket()}, false},
        {"fewer definitions than columns", {"\x03", def, eofPacket()}, false},
        {"more definitions than columns", {"\x01", def, def, eofPacket()}, false},
        {"truncated OK packet", {std::string("\x00\xFC", 2)}, false},
        {"length-coded 255",
         {"\x02", def, def, eofPacket(),
          "\x01"
          "a\xFF"},
         true},
        {"length past the end",
         {"\x01", def, eofPacket(),
          "\x0A"
          "abc"},
         true},
        {"huge 8-byte length", {"\x01", def, eofPacket(), "\xFE" + le(1ull << 40, 8) + "x"}, true},
        {"row with too few values",
         {"\x02", def, def, eofPacket(),
          "\x01"
          "a"},
         true},
        {"empty row packet", {"\x01", def, eofPacket(), ""}, true},
    };
    for (const Case& k : cases) {
        FakeMySqlServer server([&](FakePeer& p) {
            login(p, kServer41);
            p.read();
            uint8_t seq = 1;
            for (const std::string& packet : k.reply) p.send(seq++, packet);
        });
        Api a;
        ASSERT_TRUE(a.connect(server.port())) << a.error;
        int rc = a.query("SELECT");
        if (k.atFetch) {
            ASSERT_EQ(rc, 0) << k.name << ": " << a.error;
            std::unique_ptr<ResultSet> r = a.useResult();
            ASSERT_NE(r, nullptr) << k.name;
            EXPECT_EQ(a.fetchRow(*r), nullptr) << k.name;
            r.reset();
        }
        EXPECT_EQ(a.errorNumber, 2027) << k.name << ": " << a.error;
        server.join();
    }
}

// Over TLS as well: the detail is the socket's own.
TEST(FakeServer, ReadTimeoutGives2013WithTheReadError) {
    TestCertificates certs;
    for (bool tls : {false, true}) {
        FakeMySqlServer server([&](FakePeer& p) {
            if (tls) {
                p.send(0, greeting(kServer41 | 2048));
                p.read();
                p.startTls(certs.serverCert().string(), certs.serverKey().string());
                p.read();
                p.send(3, okPacket());
            } else {
                login(p, kServer41);
            }
            p.read();  // SET NAMES
            p.send(1, okPacket());
            p.read();  // the query, never answered
            EXPECT_EQ(p.read().payload, "\x01") << "the client gives up: quit";
            EXPECT_TRUE(p.atEnd()) << "and closes";
        });
        MySqlConnection c;
        c.setServer("127.0.0.1");
        c.setPort(server.port());
        c.open();
        try {
            c.execSql("SELECT SLEEP(100)", 1);
            FAIL() << "no reply, yet no error";
        } catch (const MySqlError& e) {
            EXPECT_EQ(e.errorNumber(), 2013);
            EXPECT_STREQ(e.what(),
                         "Lost connection to MySQL server during query\r\nSocket error on read. "
                         "WSAGetLastError return "
                         "110($6E)")
                << "TLS " << tls;
        }
        EXPECT_FALSE(c.connected());
    }
}

TEST(FakeServer, CompressedFramesOutOfOrderOrNotInflating) {
    struct Case {
        uint8_t seq;
        bool garbage;
        int code;
        std::string message;
    } cases[] = {
        {5, false, 1156, "\r\nReceiveCompHeader: Net packets out of order: received[5], expected[1]"},
        {1, true, 1157, ""},
    };
    for (const Case& k : cases) {
        FakeMySqlServer server([&](FakePeer& p) {
            p.send(0, greeting(kServer41 | 32));
            p.read();
            p.send(2, okPacket());
            p.readFrame();
            std::string ok = le(okPacket().size(), 3) + '\x01' + okPacket();
            if (k.garbage)
                p.sendRaw(le(12, 3) + static_cast<char>(k.seq) + le(100, 3) + "not deflated");
            else
                p.sendFrame(k.seq, ok, false);
        });
        Api a;
        ASSERT_TRUE(a.connect(server.port(), "u", "pw", "", 2 + 65536 + 32));
        EXPECT_EQ(a.query("DO 1"), k.code);
        EXPECT_EQ(a.error, k.message);
        server.join();
    }
}

// Column definitions are held for the whole result, so a server could make them fill
// the memory; past the cap the query fails and the rest of the reply is not read.
TEST(FakeServer, ColumnDefinitionsPastTheMetadataCapGive2027) {
    auto many = [](size_t count, size_t nameLength) {
        std::vector<std::string> reply = {lengthCoded(count)};
        for (size_t i = 0; i < count; ++i)
            reply.push_back(columnDefinition41(std::string(nameLength, 'c'), 253));
        reply.push_back(eofPacket());
        return reply;
    };
    const std::vector<std::string> cases[] = {
        many(1, 3 << 20),  // one definition of 6 MiB
        many(300, 16000),  // 300 of 32 KB
        many(3, 600000),   // just under the cap: accepted
    };
    for (size_t k = 0; k < std::size(cases); ++k) {
        FakeMySqlServer server([&](FakePeer& p) {
            login(p, kServer41);
            p.read();
            uint8_t seq = 1;
            try {
                for (const std::string& packet : cases[k]) p.send(seq++, packet);
                if (k == 2) p.send(seq++, eofPacket());
            } catch (const std::runtime_error&) {
                EXPECT_NE(k, 2u) << "the client stopped reading an acceptable result";
            }
        });
        {
            Api a;
            ASSERT_TRUE(a.connect(server.port())) << a.error;
            int rc = a.query("SELECT");
            if (k == 2) {
                EXPECT_EQ(rc, 0) << a.error;
                std::unique_ptr<ResultSet> r = a.useResult();
                ASSERT_NE(r, nullptr);
                EXPECT_EQ(r->columnCount(), 3u);
                r.reset();
            } else {
                EXPECT_EQ(rc, 2027) << k;
                EXPECT_EQ(a.error,
                          "Malformed packet\r\nThe column definitions of one result take more than 4 MiB")
                    << k;
            }
        }  // the client closes before the server has sent everything
        server.join();
    }
}

// A result of text columns: header, definitions, rows, end marker.
static std::vector<std::string> result(const std::vector<std::string>& columns,
                                       const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::string> packets = {lengthCoded(columns.size())};
    for (const std::string& c : columns) packets.push_back(columnDefinition41(c, 253));
    packets.push_back(eofPacket());
    for (const auto& row : rows) {
        std::string packet;
        for (const std::string& v : row) packet += lengthCodedText(v);
        packets.push_back(packet);
    }
    packets.push_back(eofPacket());
    return packets;
}

// A server for the dump: a greeting with the given version, then the result of the first
// entry whose text occurs in a statement, OK for statements no entry knows. Returns the
// dump's error text, empty after success.
using Replies = std::vector<std::pair<std::string, std::vector<std::string>>>;
static std::string dumpFrom(const std::string& version, const Replies& replies, const std::string& file) {
    FakeMySqlServer server([&](FakePeer& p) {
        p.send(0, greeting(kServer41, true, 10, version));
        p.read();
        p.send(2, okPacket());
        for (;;) {
            FakePeer::Packet q = p.read();
            if (q.payload.empty() || q.payload[0] == 1) break;
            auto known = std::find_if(replies.begin(), replies.end(), [&](const auto& r) {
                return q.payload.find(r.first) != std::string::npos;
            });
            if (known == replies.end()) {
                p.send(1, okPacket());
                continue;
            }
            uint8_t seq = 1;
            for (const std::string& packet : known->second) p.send(seq++, packet);
        }
    });
    std::string error;
    {
        MySqlConnection c;
        c.setServer("127.0.0.1");
        c.setPort(server.port());
        c.open();
        SqlDump::Options options;
        options.connection = &c;
        try {
            SqlDump(options).backupToFile(file);
        } catch (const MySqlError& e) {
            error = std::to_string(e.errorNumber()) + " " + e.what();
        }
    }
    server.join();
    return error;
}

// The list of tables with one column where four were asked for, and a version text
// that tries to end its comment line.
TEST(FakeServer, TheDumpSurvivesALyingServer) {
    TempDir dir;
    const std::string file = (dir / "d.sql").string();
    const std::string error =
        dumpFrom("5.0.96\n;CREATE DATABASE evil;\r\n-- ",
                 {{"information_schema.TABLES", result({"TABLE_CATALOG"}, {{"x"}})}}, file);
    EXPECT_EQ(error.rfind("2027 Malformed packet\r\nThe result has 1 columns, column ", 0), 0u) << error;
    const std::string bytes = readFile(file);
    EXPECT_EQ(
        bytes.substr(0, bytes.find("\r\n-- MySQL client")),
        "-- Vessik version: 5.55.0.39\r\n-- MySQL server version: 5.0.96\\n;CREATE DATABASE evil;\\r\\n-- ");
}

// A CREATE text with a client command on a line of its own (the standard client runs
// "\!" as a shell command) and a second statement: the restore runs neither.
TEST(FakeServer, AHostileCreateTextRunsNothingOnRestore) {
    TempDir dir;
    const std::string file = (dir / "d.sql").string();
    const std::string marker = (dir / "shell-ran").string();
    const std::string create =
        "CREATE TABLE `t` (`a` int)\n\\! touch " + marker + "\n; CREATE TABLE evil (a int)";
    EXPECT_EQ(dumpFrom("5.0.96",
                       {{"information_schema.TABLES",
                         result({"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE"},
                                {{"", "db", "t", "BASE TABLE"}})},
                        {"information_schema.COLUMNS",
                         result({"TABLE_NAME", "COLUMN_NAME", "DATA_TYPE", "EXTRA", "COLUMN_DEFAULT"},
                                {{"t", "a", "int", "", ""}})},
                        {"SHOW CREATE TABLE", result({"Table", "Create Table"}, {{"t", create}})},
                        {"COUNT(*)", result({"COUNT(*)"}, {{"0"}})}},
                       file),
              "");
    MariaDb& db = MariaDb::shared();
    const std::string restored = db.freshDatabase("hostile_create");
    EXPECT_THROW(db.runScript(file, restored),
                 std::runtime_error);  // the server rejects the text as one statement
    EXPECT_FALSE(std::filesystem::exists(marker)) << "the restore ran a shell command";
    EXPECT_EQ(db.sql("SHOW TABLES", restored), "");
}

// Values past the end of a row are an error of the reply, never a read past the buffer.
TEST(FakeServer, ReadingAColumnPastTheRowGives2027) {
    FakeMySqlServer server([](FakePeer& p) {
        login(p, kServer41);
        p.read();  // SET NAMES
        p.send(1, okPacket());
        p.read();
        p.send(1, "\x01");
        p.send(2, columnDefinition41("a", 253));
        p.send(3, eofPacket());
        p.send(4, lengthCodedText("x"));
        p.send(5, eofPacket());
        p.read();  // quit
    });
    MySqlConnection c;
    c.setServer("127.0.0.1");
    c.setPort(server.port());
    c.open();
    MySqlQuery q(c);
    ASSERT_TRUE(q.open("SELECT a, b"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0), "x");
    for (size_t column : {size_t(1), size_t(1000000)}) {
        try {
            (void)q.value(column);
            ADD_FAILURE() << "read column " << column;
        } catch (const MySqlError& e) {
            EXPECT_EQ(e.errorNumber(), 2027);
        }
        EXPECT_THROW((void)q.isNull(column), MySqlError);
    }
    EXPECT_FALSE(q.next());
}

TEST(FakeServer, AnErrorAmidTheRowsFailsTheReadWhateverItsNumber) {
    struct Case {
        uint16_t code;
    } cases[] = {{1317}, {0}};
    for (const Case& k : cases) {
        FakeMySqlServer server([&](FakePeer& p) {
            login(p, kServer41);
            p.read();  // SET NAMES
            p.send(1, okPacket());
            p.read();
            p.send(1, "\x01");
            p.send(2, columnDefinition41("a", 253));
            p.send(3, eofPacket());
            p.send(4, lengthCodedText("x"));
            p.send(5, "\xff" + le(k.code, 2) + "#70100Query execution was interrupted");
            p.read();  // quit
        });
        MySqlConnection c;
        c.setServer("127.0.0.1");
        c.setPort(server.port());
        c.open();
        MySqlQuery q(c);
        ASSERT_TRUE(q.open("SELECT a"));
        ASSERT_TRUE(q.next());
        try {
            q.next();
            ADD_FAILURE() << "the rows ended quietly for error " << k.code;
        } catch (const MySqlError& e) {
            EXPECT_EQ(e.errorNumber(), k.code);
            EXPECT_STREQ(e.what(), "\r\n#70100Query execution was interrupted");
        }
        EXPECT_TRUE(c.connected());
    }
}
