#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "MySqlTestUtil.h"
#include "mysql/EMyError.h"
#include "mysql/TMyConnection.h"
#include "mysql/TMyQuery.h"

using namespace tharvel;
using tharvel::test::connectionTo;
using tharvel::test::MariaDb;

namespace {

std::string scalar(TMyConnection& c, const std::string& sql) {
    TMyQuery q(c);
    EXPECT_TRUE(q.Open(sql));
    EXPECT_TRUE(q.next());
    std::string v = q.IsNull(0) ? "NULL" : std::string(q.Value(0));
    EXPECT_FALSE(q.next());
    return v;
}

int freePort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

}  // namespace

TEST(MyConnection, OpensWithPasswordAndSetsNamesUtf8) {
    MariaDb& db = MariaDb::shared();
    auto c = connectionTo(db);
    EXPECT_EQ(c->ClientVersionText(), "4.1.3 Direct");
    EXPECT_EQ(c->ServerVersionText(), "");
    c->Open();
    ASSERT_TRUE(c->Connected());
    // MariaDB puts "5.5.5-" before its version for old clients.
    EXPECT_EQ(c->ServerVersionText(), "5.5.5-" + scalar(*c, "SELECT VERSION()"));
    EXPECT_EQ(c->ServerMajorVersion(), 5);  // MariaDB announces itself as 5.5.5-10.x
    EXPECT_EQ(scalar(*c, "SELECT @@character_set_client"), "utf8mb3");
    EXPECT_EQ(scalar(*c, "SELECT @@character_set_results"), "utf8mb3");
    EXPECT_EQ(scalar(*c, "SELECT CURRENT_USER()"), "tharvel@%");
    c->close();
    EXPECT_FALSE(c->Connected());
    EXPECT_EQ(c->ServerVersionText(), "");
    c->Open();  // a closed component opens again
    EXPECT_TRUE(c->Connected());
}

TEST(MyConnection, CharsetOptionChoosesTheConnectionCharacterSet) {
    MariaDb& db = MariaDb::shared();
    auto c = connectionTo(db);
    c->Options().SetCharset("utf8mb4");
    c->Open();
    EXPECT_EQ(scalar(*c, "SELECT @@character_set_connection"), "utf8mb4");
    EXPECT_EQ(scalar(*c, "SELECT HEX('\xF0\x9F\x98\x80')"), "F09F9880");
    EXPECT_THROW(c->Options().SetCharset("latin1"), std::runtime_error);
    EXPECT_THROW(c->Options().SetCompress(true), std::runtime_error);
    EXPECT_THROW(c->Options().SetUseUnicode(true), std::runtime_error);
    c->close();
    EXPECT_THROW(c->Options().SetCharset("utf8; DROP TABLE x"), std::invalid_argument);
    c->Options().SetUseUnicode(true);  // wins over the character set
    c->Open();
    EXPECT_EQ(scalar(*c, "SELECT @@character_set_connection"), "utf8mb3");
}

TEST(MyConnection, EmptyPasswordAndInitialDatabase) {
    MariaDb& db = MariaDb::shared();
    std::string name = db.freshDatabase("mysql_initdb");
    db.sql("CREATE USER IF NOT EXISTS 'nopw'@'%'; GRANT ALL ON *.* TO 'nopw'@'%';");
    auto c = connectionTo(db, name);
    c->SetUsername("nopw");
    c->SetPassword("");
    c->Open();
    EXPECT_EQ(scalar(*c, "SELECT DATABASE()"), name);
    EXPECT_EQ(scalar(*c, "SELECT CURRENT_USER()"), "nopw@%");
    // Changing the database of an open connection selects it at once.
    std::string other = db.freshDatabase("mysql_initdb");
    c->SetDatabase(other);
    EXPECT_EQ(scalar(*c, "SELECT DATABASE()"), other);
    EXPECT_THROW(c->SetDatabase("no_such_database_here"), EMyError);
}

TEST(MyConnection, LoginFailuresCarryTheServersCodeAndText) {
    MariaDb& db = MariaDb::shared();
    struct Case {
        std::string password, database;
        int code;
        std::string start;
    } cases[] = {
        {"wrong", "", 1045, "\r\n#28000Access denied for user 'tharvel'@"},
        {db.password(), "no_such_db_4", 1049, "\r\n#42000Unknown database 'no_such_db_4'"},
    };
    for (const Case& k : cases) {
        auto c = connectionTo(db, k.database);
        c->SetPassword(k.password);
        try {
            c->Open();
            ADD_FAILURE() << "login succeeded for " << k.code;
        } catch (const EMyError& e) {
            EXPECT_EQ(e.ErrorNumber(), k.code);
            EXPECT_EQ(std::string(e.what()).substr(0, k.start.size()), k.start) << e.what();
            EXPECT_EQ(e.Origin(), c.get());
            EXPECT_FALSE(e.IsConnectionLost());
        }
        EXPECT_FALSE(c->Connected());
    }
}

TEST(MyConnection, UnreachableServerGives2003) {
    int port = freePort();
    TMyConnection c;
    c.SetServer("127.0.0.1");
    c.SetPort(port);
    try {
        c.Open();
        FAIL() << "connected to a closed port";
    } catch (const EMyError& e) {
        EXPECT_EQ(e.ErrorNumber(), 2003);
        EXPECT_EQ(std::string(e.what()),
                  "Can't connect to MySQL server on '127.0.0.1' (10061)\r\n"
                  "Socket error on connect. WSAGetLastError return 111($6F)");
        EXPECT_TRUE(e.IsConnectionLost());
    }
    c.SetServer("no-such-host.invalid");
    try {
        c.Open();
        FAIL() << "resolved an invalid name";
    } catch (const EMyError& e) {
        EXPECT_EQ(e.ErrorNumber(), 2003);
        EXPECT_EQ(std::string(e.what()), "Can't connect to MySQL server on 'no-such-host.invalid' (10061)");
    }
}

TEST(MyConnection, SettingServerOrUserClosesTheConnection) {
    MariaDb& db = MariaDb::shared();
    auto c = connectionTo(db);
    c->Open();
    c->SetPort(db.port());  // unchanged: stays open
    EXPECT_TRUE(c->Connected());
    c->SetUsername("someone");
    EXPECT_FALSE(c->Connected());
    c->SetUsername(db.user());
    c->BeginUse();  // opens
    EXPECT_TRUE(c->Connected());
    c->EndUse();
    c->EndUse();
    EXPECT_EQ(c->UseCount(), 0);
    EXPECT_TRUE(c->Connected());  // not in disconnected mode
}

TEST(MyConnection, EmptyServerMeansLocalhostAndPipesDoNotExist) {
    MariaDb& db = MariaDb::shared();
    auto c = connectionTo(db);
    c->SetServer("");
    c->Open();
    EXPECT_EQ(scalar(*c, "SELECT 1"), "1");
    c->close();
    c->Options().SetProtocol(TMyProtocol::mpPipe);
    try {
        c->Open();
        FAIL() << "a named pipe opened on Linux";
    } catch (const EMyError& e) {
        EXPECT_EQ(e.ErrorNumber(), 2046);
        EXPECT_EQ(
            std::string(e.what()),
            "Wrong or unknown protocol\r\nThe named-pipe channel does not exist on this system; use TCP");
    }
    EXPECT_FALSE(c->Connected());
}
