// Authentication methods and method switches against scripted servers, with the
// expected bytes computed here from libcrypto's own primitives.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>

#include <memory>

#include "FakeMySqlServer.h"
#include "MySqlTestUtil.h"
#include "mysql/Authentication.h"
#include "mysql/MySqlError.h"
#include "mysql/MySqlQuery.h"
#include "mysql/ResultSet.h"
#include "mysql/Session.h"

using namespace tharvel;
using namespace tharvel::test;

namespace {

constexpr uint16_t kServer41 = 41631;
const std::string kNonce = "0123456789ABCDEFGHIJ";  // the nonce of switch requests

std::string sha256(const std::string& s) {
    unsigned char d[32];
    SHA256(reinterpret_cast<const unsigned char*>(s.data()), s.size(), d);
    return std::string(reinterpret_cast<char*>(d), 32);
}

std::string sha1(const std::string& s) {
    unsigned char d[20];
    SHA1(reinterpret_cast<const unsigned char*>(s.data()), s.size(), d);
    return std::string(reinterpret_cast<char*>(d), 20);
}

std::string xorOf(std::string a, const std::string& b) {
    for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<char>(a[i] ^ b[i % b.size()]);
    return a;
}

std::string nativeToken(const std::string& pw, const std::string& nonce) {
    return xorOf(sha1(pw), sha1(nonce + sha1(sha1(pw))));
}

std::string sha2Token(const std::string& pw, const std::string& nonce) {
    return xorOf(sha256(pw), sha256(sha256(sha256(pw)) + nonce));
}

// An RSA key pair for the server side of the full exchange.
struct RsaKey {
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key{EVP_RSA_gen(2048), EVP_PKEY_free};
    std::string publicPem() const {
        std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
        PEM_write_bio_PUBKEY(bio.get(), key.get());
        char* data = nullptr;
        long n = BIO_get_mem_data(bio.get(), &data);
        return std::string(data, static_cast<size_t>(n));
    }
    std::string decrypt(const std::string& cipher) const {
        std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(key.get(), nullptr),
                                                                        EVP_PKEY_CTX_free);
        EVP_PKEY_decrypt_init(ctx.get());
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_OAEP_PADDING);
        size_t n = 512;
        std::string out(n, '\0');
        if (EVP_PKEY_decrypt(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &n,
                             reinterpret_cast<const unsigned char*>(cipher.data()), cipher.size()) != 1)
            return "<does not decrypt>";
        out.resize(n);
        return out;
    }
};

const RsaKey& rsa() {
    static RsaKey k;
    return k;
}

struct Api : DrivenSession {
    bool connect(int port, const std::string& password, const std::string& db = "") {
        return DrivenSession::connect(port, "u", password, db);
    }
};

// Splits a 4.1 login response after its 32-byte head: user, answer, database, method.
struct Response {
    uint32_t flags = 0;
    std::string user, answer, database, method;
};
Response parse(const std::string& r) {
    Response out;
    for (int i = 0; i < 4; ++i) out.flags |= static_cast<uint32_t>(static_cast<uint8_t>(r[i])) << (8 * i);
    size_t at = 32;
    auto z = [&] {
        size_t end = r.find('\0', at);
        std::string s = r.substr(at, end - at);
        at = end == std::string::npos ? r.size() : end + 1;
        return s;
    };
    out.user = z();
    size_t n = static_cast<uint8_t>(r[at]);
    size_t head = 1;
    if (n == 0xFC) n = static_cast<uint8_t>(r[at + 1]) | static_cast<uint8_t>(r[at + 2]) << 8, head = 3;
    out.answer = r.substr(at + head, n);
    at += head + n;
    out.database = z();
    out.method = z();
    return out;
}

std::string switchTo(const std::string& method, const std::string& data) {
    return "\xFE" + method + '\0' + data;
}

}  // namespace

// The greeting's own method is answered in the response itself, named after the
// database; a server without plugin authentication keeps today's bytes (the login
// tests of FakeServerTest).
TEST(Auth, GreetingMethodIsAnsweredInTheResponse) {
    struct Case {
        std::string method, password, answer, named;
    } cases[] = {
        {"mysql_native_password", "pw", nativeToken("pw", kScramble), "mysql_native_password"},
        {"caching_sha2_password", "pw", sha2Token("pw", kScramble), "caching_sha2_password"},
        {"caching_sha2_password", "", "", "caching_sha2_password"},
        // Methods whose data the greeting cannot carry get a native answer and a switch.
        {"client_ed25519", "pw", nativeToken("pw", kScramble), "mysql_native_password"},
        {"dialog", "pw", nativeToken("pw", kScramble), "mysql_native_password"},
    };
    for (const Case& k : cases) {
        Response got;
        FakeMySqlServer server([&](FakePeer& p) {
            p.send(0, pluginGreeting(kServer41, k.method));
            got = parse(p.read().payload);
            p.send(2, okPacket());
        });
        Api a;
        EXPECT_TRUE(a.connect(server.port(), k.password, "shop")) << a.error;
        server.join();
        EXPECT_EQ(got.flags, 238223u | CLIENT_PLUGIN_AUTH) << k.method;
        EXPECT_EQ(got.user, "u");
        EXPECT_EQ(got.answer, k.answer) << k.method;
        EXPECT_EQ(got.database, "shop");
        EXPECT_EQ(got.method, k.named);
    }
}

// After the response the server may switch methods and ask for more rounds; each
// case is the server's side of one conversation up to its OK.
TEST(Auth, SwitchesAndFurtherRounds) {
    const std::string pw = "pass word";
    const std::string pem = rsa().publicPem();
    auto expectRsa = [&](const std::string& cipher) {
        EXPECT_EQ(rsa().decrypt(cipher), xorOf(pw + '\0', kNonce));
    };
    struct Case {
        std::string name;
        std::function<void(FakePeer&, uint8_t&)> rounds;
    } cases[] = {
        {"to native",
         [&](FakePeer& p, uint8_t& seq) {
             p.send(seq++, switchTo("mysql_native_password", kNonce + '\0'));
             EXPECT_EQ(p.read().payload, nativeToken(pw, kNonce));
             ++seq;
         }},
        {"to old",
         [&](FakePeer& p, uint8_t& seq) {
             p.send(seq++, switchTo("mysql_old_password", kNonce.substr(0, 8) + '\0'));
             auto a = Session::scrambleOld(
                 pw, std::span<const uint8_t, 8>(reinterpret_cast<const uint8_t*>(kNonce.data()), 8));
             EXPECT_EQ(p.read().payload, std::string(a.begin(), a.end()));
             ++seq;
         }},
        {"caching_sha2 fast path",
         [&](FakePeer& p, uint8_t& seq) {
             p.send(seq++, switchTo("caching_sha2_password", kNonce + '\0'));
             EXPECT_EQ(p.read().payload, sha2Token(pw, kNonce));
             ++seq;
             p.send(seq++, "\x01\x03");
         }},
        {"caching_sha2 full path asks for the key",
         [&](FakePeer& p, uint8_t& seq) {
             p.send(seq++, switchTo("caching_sha2_password", kNonce + '\0'));
             EXPECT_EQ(p.read().payload, sha2Token(pw, kNonce));
             ++seq;
             p.send(seq++, "\x01\x04");
             EXPECT_EQ(p.read().payload, "\x02");
             ++seq;
             p.send(seq++, "\x01" + pem);
             expectRsa(p.read().payload);
             ++seq;
         }},
        {"sha256 asks for the key",
         [&](FakePeer& p, uint8_t& seq) {
             p.send(seq++, switchTo("sha256_password", kNonce + '\0'));
             EXPECT_EQ(p.read().payload, "\x01");
             ++seq;
             p.send(seq++, "\x01" + pem);
             expectRsa(p.read().payload);
             ++seq;
         }},
    };
    for (const Case& k : cases) {
        uint8_t last = 0;
        FakeMySqlServer server([&](FakePeer& p) {
            p.send(0, pluginGreeting(kServer41, "mysql_native_password"));
            p.read();
            uint8_t seq = 2;
            k.rounds(p, seq);
            p.send(seq, okPacket());
            last = seq;
            EXPECT_EQ(p.read().payload, "\x01");  // quit
        });
        {
            Api a;
            EXPECT_TRUE(a.connect(server.port(), pw)) << k.name << ": " << a.error;
        }
        server.join();
        EXPECT_GT(last, 2) << k.name;
    }
}

// A known key is used at once, without asking the server for it.
TEST(Auth, KnownPublicKeySkipsTheRequest) {
    std::string got;
    FakeMySqlServer server([&](FakePeer& p) {
        p.send(0, pluginGreeting(kServer41, "sha256_password"));
        auto r = parse(p.read().payload);
        EXPECT_TRUE(r.flags & CLIENT_PLUGIN_AUTH_LENENC_CLIENT_DATA);
        got = r.answer;
        p.send(2, okPacket());
    });
    Api a;
    a.session.serverPublicKey = rsa().publicPem();
    EXPECT_TRUE(a.connect(server.port(), "pw")) << a.error;
    server.join();
    // The greeting's scramble is the nonce of the response's answer.
    EXPECT_EQ(rsa().decrypt(got), xorOf(std::string("pw") + '\0', kScramble));
}

TEST(Auth, HostileOrBrokenExchangesFail) {
    struct Case {
        std::string name;
        std::function<void(FakePeer&)> rounds;
        int code;
        std::string message;
    } cases[] = {
        {"unknown method", [](FakePeer& p) { p.send(2, switchTo("auth_gssapi_client", "x")); }, 2012,
         "Error in server handshake\r\nThe server asks for the authentication plugin 'auth_gssapi_client', "
         "which this client does not support"},
        {"short ed25519 nonce", [](FakePeer& p) { p.send(2, switchTo("client_ed25519", "abc")); }, 2027,
         "Malformed packet\r\nAuthentication data of 3 bytes for client_ed25519"},
        {"endless rounds",
         [](FakePeer& p) {
             for (uint8_t seq = 2; seq < 60; seq += 2) {
                 p.send(seq, switchTo("mysql_native_password", kNonce + '\0'));
                 if (p.read().payload == "\x01") return;  // the client gave up and quit
             }
         },
         2012, "Error in server handshake\r\nToo many authentication rounds"},
        {"not a key",
         [](FakePeer& p) {
             p.send(2, switchTo("caching_sha2_password", kNonce + '\0'));
             p.read();
             p.send(4, "\x01\x04");
             p.read();
             p.send(6, "\x01-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n");
         },
         2012, "Error in server handshake\r\nThe server's public key cannot be read"},
        {"more data for native", [](FakePeer& p) { p.send(2, "\x01\x03"); }, 2012,
         "Error in server handshake\r\nUnexpected authentication data for the method mysql_native_password"},
        {"garbage reply", [](FakePeer& p) { p.send(2, "\x07zz"); }, 2012,
         "Error in server handshake\r\nUnexpected reply to the login"},
    };
    for (const Case& k : cases) {
        FakeMySqlServer server([&](FakePeer& p) {
            p.send(0, pluginGreeting(kServer41, "mysql_native_password"));
            p.read();
            k.rounds(p);
        });
        Api a;
        EXPECT_FALSE(a.connect(server.port(), "pw")) << k.name;
        EXPECT_EQ(a.errorNumber, k.code) << k.name;
        EXPECT_EQ(std::string(a.error).substr(0, k.message.size()), k.message) << k.name;
    }
}

// With a 32-byte password, SHA-512 of the password is exactly standard Ed25519's key
// expansion of that seed, so libcrypto's own signature must come out.
TEST(Auth, Ed25519MatchesLibcryptoForSeedLengthPasswords) {
    for (const std::string& seed :
         {std::string(32, '\0'), std::string("0123456789abcdef0123456789abcdef"), std::string(32, '\xFF')}) {
        for (const std::string& message :
             {std::string(32, 'n'), std::string("a nonce of thirty-two bytes!!..")}) {
            std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
                EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr,
                                             reinterpret_cast<const unsigned char*>(seed.data()), 32),
                EVP_PKEY_free);
            std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
            unsigned char expected[64];
            size_t n = sizeof expected;
            ASSERT_EQ(EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()), 1);
            ASSERT_EQ(EVP_DigestSign(ctx.get(), expected, &n,
                                     reinterpret_cast<const unsigned char*>(message.data()), message.size()),
                      1);
            auto got = Authentication::signEd25519(
                seed,
                std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(message.data()), message.size()));
            EXPECT_EQ(std::string(got.begin(), got.end()),
                      std::string(reinterpret_cast<char*>(expected), 64));
        }
    }
}

TEST(Auth, Ed25519AccountOnARealServer) {
    MariaDb& db = MariaDb::shared();
    db.sql(
        "CREATE USER IF NOT EXISTS edna@'%' IDENTIFIED VIA ed25519 USING PASSWORD('ed pass');"
        "GRANT ALL ON *.* TO edna@'%';");
    auto c = connectionTo(db);
    c->setUsername("edna");
    c->setPassword("ed pass");
    c->open();
    MySqlQuery q(*c);
    ASSERT_TRUE(q.open("SELECT CURRENT_USER()"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0), "edna@%");
    q.close();
    c->close();
    c->setPassword("ed pasS");
    try {
        c->open();
        FAIL() << "wrong ed25519 password accepted";
    } catch (const MySqlError& e) {
        EXPECT_EQ(e.errorNumber(), 1045);
    }
}
