// Encrypted logins on a real server with certificates made at test time, the local
// socket and IPv6, and the TLS login bytes against a scripted server.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include "FakeMySqlServer.h"
#include "MySqlTestUtil.h"
#include "mysql/MySqlError.h"
#include "mysql/MySqlQuery.h"
#include "mysql/ResultSet.h"
#include "mysql/Session.h"
#include "support/TestCertificates.h"

using namespace tharvel;
using namespace tharvel::test;

namespace {

constexpr uint16_t kServer41 = 41631;

std::string scalar(MySqlConnection& c, const std::string& sql) {
    MySqlQuery q(c);
    EXPECT_TRUE(q.open(sql));
    EXPECT_TRUE(q.next());
    std::string v(q.value(0));
    q.close();
    return v;
}

std::string sha256(const std::string& s) {
    unsigned char d[32];
    SHA256(reinterpret_cast<const unsigned char*>(s.data()), s.size(), d);
    return std::string(reinterpret_cast<char*>(d), 32);
}

std::string outcome(MySqlConnection& c) {
    try {
        c.open();
    } catch (const MySqlError& e) {
        return std::to_string(e.errorNumber()) + " " + e.what();
    }
    return "open";
}

// One server with a certificate for all tests of the suite; it also listens on ::1.
class TlsServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        certs_ = new TestCertificates();
        server_ = new MariaDb("Europe/Berlin", "--ssl-cert=" + certs_->serverCert().string() +
                                                   " --ssl-key=" + certs_->serverKey().string() +
                                                   " --bind-address=127.0.0.1,::1");
        server_->sql("CREATE USER tls@'%' IDENTIFIED BY 'tls pw' REQUIRE SSL; GRANT ALL ON *.* TO tls@'%';");
    }
    static void TearDownTestSuite() {
        delete server_;
        delete certs_;
    }
    static std::unique_ptr<MySqlConnection> tlsUser(const std::string& host, TlsMode mode,
                                                    const std::string& ca = "") {
        auto c = connectionTo(*server_);
        c->setServer(host);
        c->setUsername("tls");
        c->setPassword("tls pw");
        c->options().setTlsMode(mode);
        c->options().setTlsCaFile(ca);
        return c;
    }
    static TestCertificates* certs_;
    static MariaDb* server_;
};
TestCertificates* TlsServer::certs_ = nullptr;
MariaDb* TlsServer::server_ = nullptr;

}  // namespace

TEST_F(TlsServer, ModesAgainstAnAccountThatRequiresTls) {
    const std::string ca = certs_->ca().string();
    const std::string error = "2026 SSL connection error\r\n";
    struct Case {
        std::string host;
        TlsMode mode;
        std::string ca, expected;
    } cases[] = {
        {"127.0.0.1", TlsMode::Preferred, "", "open"},
        {"127.0.0.1", TlsMode::Required, "", "open"},
        {"localhost", TlsMode::Verify, ca, "open"},
        {"127.0.0.1", TlsMode::Verify, ca,
         error + "The server's certificate does not match the host name '127.0.0.1'"},
        {"localhost", TlsMode::Verify, certs_->otherCa().string(),
         error + "The server's certificate is not trusted: unable to get local issuer certificate"},
        {"localhost", TlsMode::Verify, "", error + "The server's certificate is not trusted"},
        {"localhost", TlsMode::Verify, ca + ".missing", error + "The CA file '" + ca + ".missing'"},
        {"127.0.0.1", TlsMode::Off, "", "1045 \r\n#28000Access denied for user 'tls'@'"},
    };
    for (const Case& k : cases) {
        auto c = tlsUser(k.host, k.mode, k.ca);
        std::string got = outcome(*c);
        EXPECT_EQ(got.substr(0, k.expected.size()), k.expected) << k.host << " mode " << int(k.mode);
        if (got != "open") {
            EXPECT_FALSE(c->connected());
            continue;
        }
        MySqlQuery q(*c);
        ASSERT_TRUE(q.open("SHOW SESSION STATUS LIKE 'Ssl_cipher'"));
        ASSERT_TRUE(q.next());
        EXPECT_NE(q.value(1), "") << "not encrypted";
    }
}

// Compression sits on top of TLS; a value beyond 16 MiB crosses both packet
// splitting and many TLS records.
TEST_F(TlsServer, CompressedConnectionOverTlsMovesRowsBeyond16MiB) {
    auto c = tlsUser("127.0.0.1", TlsMode::Required);
    c->options().setCompress(true);
    c->open();
    std::string unit = std::string(1, '\0') + "ab\xFF";
    MySqlQuery q(*c);
    ASSERT_TRUE(
        q.open("SELECT REPEAT(CONCAT(CHAR(0), 'ab', CHAR(255)), 5000000), 'after', REPEAT('z', 17000000)"));
    ASSERT_TRUE(q.next());
    std::string_view big = q.value(0);
    ASSERT_EQ(big.size(), 20000000u);
    std::string expected;
    expected.reserve(big.size());
    for (int i = 0; i < 5000000; ++i) expected += unit;
    EXPECT_TRUE(big == expected);
    EXPECT_EQ(q.value(1), "after");
    std::string_view second = q.value(2);
    EXPECT_EQ(second.size(), 17000000u);
    EXPECT_EQ(second.find_first_not_of('z'), std::string_view::npos);
    EXPECT_FALSE(q.next());
    q.close();
    EXPECT_EQ(scalar(*c,
                     "SELECT VARIABLE_VALUE FROM information_schema.SESSION_STATUS "
                     "WHERE VARIABLE_NAME = 'COMPRESSION'"),
              "ON");
    EXPECT_NE(scalar(*c,
                     "SELECT VARIABLE_VALUE FROM information_schema.SESSION_STATUS "
                     "WHERE VARIABLE_NAME = 'SSL_CIPHER'"),
              "");
}

TEST_F(TlsServer, Ipv6Address) {
    auto c = tlsUser("::1", TlsMode::Required);
    c->open();
    EXPECT_EQ(scalar(*c, "SELECT USER()"), "tls@::1");
}

TEST(Tls, RequiredFailsWhenTheServerOffersNone) {
    auto c = connectionTo(MariaDb::shared());
    c->options().setTlsMode(TlsMode::Required);
    EXPECT_EQ(outcome(*c), "2026 SSL connection error\r\nThe server does not offer encrypted connections");
    c->close();
    c->options().setTlsMode(TlsMode::Preferred);  // the default: plain when not offered
    EXPECT_EQ(outcome(*c), "open");
}

TEST(Tls, ModeTexts) {
    EXPECT_EQ(parseTlsMode(""), TlsMode::Preferred);
    EXPECT_EQ(parseTlsMode("preferred"), TlsMode::Preferred);
    EXPECT_EQ(parseTlsMode("off"), TlsMode::Off);
    EXPECT_EQ(parseTlsMode("required"), TlsMode::Required);
    EXPECT_EQ(parseTlsMode("verify"), TlsMode::Verify);
    for (const char* bad : {"Verify", "on", "required ", "1"}) {
        try {
            parseTlsMode(bad);
            ADD_FAILURE() << bad;
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(std::string("'") + bad + "'"), std::string::npos)
                << e.what();
        }
    }
}

TEST(LocalSocket, PathAsServerUsesTheServersSocket) {
    MariaDb& db = MariaDb::shared();
    auto c = connectionTo(db);
    c->setServer((db.directory() / "sock").string());
    c->setPort(1);  // ignored
    c->open();
    EXPECT_EQ(scalar(*c, "SELECT USER()"), "tharvel@localhost");
    c->close();
    c->setServer("/nonexistent/mysqld.sock");
    EXPECT_EQ(outcome(*c),
              "2003 Can't connect to MySQL server on '/nonexistent/mysqld.sock' (10061)\r\n"
              "Socket error on connect. WSAGetLastError return 2($2)");
}

// The login over TLS: the response's head alone asks for TLS, then the whole
// response follows encrypted, byte for byte as without TLS but for the SSL flag.
TEST(Tls, LoginBytesOverTls) {
    TestCertificates certs;
    auto token = Session::scramble41(
        "pw", std::span<const uint8_t, 20>(reinterpret_cast<const uint8_t*>(kScramble), 20));
    std::string head = le(238223 | 2048, 4) + le(1073741824, 4) + "\x08" + std::string(23, '\0');
    std::string request, response, quit;
    uint8_t requestSeq = 0, responseSeq = 0;
    FakeMySqlServer server([&](FakePeer& p) {
        p.send(0, greeting(kServer41 | 2048));
        auto r = p.read();
        request = r.payload, requestSeq = r.seq;
        p.startTls(certs.serverCert().string(), certs.serverKey().string());
        r = p.read();
        response = r.payload, responseSeq = r.seq;
        p.send(3, okPacket());
        quit = p.read().payload;
    });
    {
        DrivenSession a;
        a.session.tlsMode = TlsMode::Required;
        EXPECT_TRUE(a.connect(server.port())) << a.error;
        EXPECT_TRUE(a.session.encrypted());
    }
    server.join();
    EXPECT_EQ(request, head);
    EXPECT_EQ(requestSeq, 1);
    EXPECT_EQ(response, head + "u" + '\0' + '\x14' + std::string(token.begin(), token.end()) + '\0');
    EXPECT_EQ(responseSeq, 2);
    EXPECT_EQ(quit, "\x01");
}

// Over TLS the full exchanges send the password itself.
TEST(Tls, FullAuthenticationOverTlsSendsThePassword) {
    TestCertificates certs;
    const std::string sha2 = [] {
        std::string a = sha256("pw"), b = sha256(sha256(sha256("pw")) + kScramble);
        for (size_t i = 0; i < 32; ++i) a[i] = static_cast<char>(a[i] ^ b[i]);
        return a;
    }();
    struct Case {
        std::string method, firstAnswer;
        bool fullRound;
    } cases[] = {{"caching_sha2_password", sha2, true}, {"sha256_password", std::string("pw") + '\0', false}};
    for (const Case& k : cases) {
        std::string first, full;
        FakeMySqlServer server([&](FakePeer& p) {
            p.send(0, pluginGreeting(kServer41 | 2048, k.method));
            p.read();
            p.startTls(certs.serverCert().string(), certs.serverKey().string());
            std::string r = p.read().payload;
            size_t at = r.find('\0', 32) + 1;  // after the user name
            first = r.substr(at + 1, static_cast<uint8_t>(r[at]));
            uint8_t seq = 3;
            if (k.fullRound) {
                p.send(seq++, "\x01\x04");
                full = p.read().payload;
                ++seq;
            }
            p.send(seq, okPacket());
        });
        DrivenSession a;
        a.session.tlsMode = TlsMode::Preferred;
        EXPECT_TRUE(a.connect(server.port())) << k.method << ": " << a.error;
        server.join();
        a.session.close();
        EXPECT_EQ(first, k.firstAnswer) << k.method;
        if (k.fullRound) {
            EXPECT_EQ(full, std::string("pw") + '\0');
        }
    }
}

// A server that offers TLS but does not speak it ends the login with a TLS error,
// whatever it sends instead.
TEST(Tls, ServerThatDoesNotSpeakTlsFailsTheHandshake) {
    for (const std::string& reply : {std::string(), std::string("HTTP/1.0 400 Bad Request\r\n\r\n")}) {
        FakeMySqlServer server([&](FakePeer& p) {
            p.send(0, greeting(kServer41 | 2048));
            p.read();
            if (!reply.empty()) p.sendRaw(reply);
        });
        MySqlConnection c;
        c.setServer("127.0.0.1");
        c.setPort(server.port());
        c.setConnectionTimeout(5);
        std::string got = outcome(c);
        EXPECT_EQ(got.rfind("2026 SSL connection error\r\nThe TLS handshake failed", 0), 0u) << got;
    }
}

// Rows received on the reading thread come through the TLS layer as they do on the
// caller's: the same bytes, plain and compressed, a row over 16 MiB among them.
TEST_F(TlsServer, ReadAheadOverTlsGivesTheRowsOfADirectRead) {
    const std::string sql =
        "SELECT seq, REPEAT(CHAR(65 + seq MOD 26), seq MOD 3000) FROM seq_1_to_20000 "
        "UNION ALL SELECT 0, REPEAT('w', 16777216 + 9)";
    for (bool compress : {false, true}) {
        auto c = tlsUser("127.0.0.1", TlsMode::Required);
        c->setDatabase("mysql");
        c->options().setCompress(compress);
        c->open();
        std::vector<std::string> rows[2];
        for (bool ahead : {false, true}) {
            MySqlQuery q(*c);
            q.setReadAhead(ahead);
            ASSERT_TRUE(q.open(sql));
            while (q.next()) rows[ahead].push_back(std::string(q.value(0)) + ":" + std::string(q.value(1)));
        }
        EXPECT_EQ(rows[0].size(), 20001u);
        EXPECT_TRUE(rows[1] == rows[0]) << "compressed " << compress;
    }
}
