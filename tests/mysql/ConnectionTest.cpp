#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "MySqlTestUtil.h"
#include "mysql/MySqlConnection.h"
#include "mysql/MySqlError.h"
#include "mysql/MySqlQuery.h"

using namespace tharvel;
using tharvel::test::connectionTo;
using tharvel::test::MariaDb;

namespace {

std::string scalar(MySqlConnection& c, const std::string& sql) {
    MySqlQuery q(c);
    EXPECT_TRUE(q.open(sql));
    EXPECT_TRUE(q.next());
    std::string v = q.isNull(0) ? "NULL" : std::string(q.value(0));
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

TEST(MySqlConnection, OpensWithPasswordAndSetsNamesUtf8) {
    MariaDb& db = MariaDb::shared();
    auto c = connectionTo(db);
    EXPECT_EQ(c->clientVersionText(), "4.1.3 Direct");
    EXPECT_EQ(c->serverVersionText(), "");
    c->open();
    ASSERT_TRUE(c->connected());
    // MariaDB puts "5.5.5-" before its version for old clients.
    EXPECT_EQ(c->serverVersionText(), "5.5.5-" + scalar(*c, "SELECT VERSION()"));
    EXPECT_EQ(c->serverMajorVersion(), 5);  // MariaDB announces itself as 5.5.5-10.x
    EXPECT_EQ(scalar(*c, "SELECT @@character_set_client"), "utf8mb3");
    EXPECT_EQ(scalar(*c, "SELECT @@character_set_results"), "utf8mb3");
    EXPECT_EQ(scalar(*c, "SELECT CURRENT_USER()"), "tharvel@%");
    c->close();
    EXPECT_FALSE(c->connected());
    EXPECT_EQ(c->serverVersionText(), "");
    c->open();  // a closed component opens again
    EXPECT_TRUE(c->connected());
}

TEST(MySqlConnection, CharsetOptionChoosesTheConnectionCharacterSet) {
    MariaDb& db = MariaDb::shared();
    auto c = connectionTo(db);
    c->options().setCharset("utf8mb4");
    c->open();
    EXPECT_EQ(scalar(*c, "SELECT @@character_set_connection"), "utf8mb4");
    EXPECT_EQ(scalar(*c, "SELECT HEX('\xF0\x9F\x98\x80')"), "F09F9880");
    EXPECT_THROW(c->options().setCharset("latin1"), std::runtime_error);
    EXPECT_THROW(c->options().setCompress(true), std::runtime_error);
    EXPECT_THROW(c->options().setUseUnicode(true), std::runtime_error);
    c->close();
    EXPECT_THROW(c->options().setCharset("utf8; DROP TABLE x"), std::invalid_argument);
    c->options().setUseUnicode(true);  // wins over the character set
    c->open();
    EXPECT_EQ(scalar(*c, "SELECT @@character_set_connection"), "utf8mb3");
}

TEST(MySqlConnection, EmptyPasswordAndInitialDatabase) {
    MariaDb& db = MariaDb::shared();
    std::string name = db.freshDatabase("mysql_initdb");
    db.sql("CREATE USER IF NOT EXISTS 'nopw'@'%'; GRANT ALL ON *.* TO 'nopw'@'%';");
    auto c = connectionTo(db, name);
    c->setUsername("nopw");
    c->setPassword("");
    c->open();
    EXPECT_EQ(scalar(*c, "SELECT DATABASE()"), name);
    EXPECT_EQ(scalar(*c, "SELECT CURRENT_USER()"), "nopw@%");
    // Changing the database of an open connection selects it at once.
    std::string other = db.freshDatabase("mysql_initdb");
    c->setDatabase(other);
    EXPECT_EQ(scalar(*c, "SELECT DATABASE()"), other);
    EXPECT_THROW(c->setDatabase("no_such_database_here"), MySqlError);
}

TEST(MySqlConnection, LoginFailuresCarryTheServersCodeAndText) {
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
        c->setPassword(k.password);
        try {
            c->open();
            ADD_FAILURE() << "login succeeded for " << k.code;
        } catch (const MySqlError& e) {
            EXPECT_EQ(e.errorNumber(), k.code);
            EXPECT_EQ(std::string(e.what()).substr(0, k.start.size()), k.start) << e.what();
            EXPECT_FALSE(e.isConnectionLost());
        }
        EXPECT_FALSE(c->connected());
    }
}

TEST(MySqlConnection, UnreachableServerGives2003) {
    int port = freePort();
    MySqlConnection c;
    c.setServer("127.0.0.1");
    c.setPort(port);
    try {
        c.open();
        FAIL() << "connected to a closed port";
    } catch (const MySqlError& e) {
        EXPECT_EQ(e.errorNumber(), 2003);
        EXPECT_EQ(std::string(e.what()),
                  "Can't connect to MySQL server on '127.0.0.1' (10061)\r\n"
                  "Socket error on connect. WSAGetLastError return 111($6F)");
        EXPECT_TRUE(e.isConnectionLost());
    }
    c.setServer("no-such-host.invalid");
    try {
        c.open();
        FAIL() << "resolved an invalid name";
    } catch (const MySqlError& e) {
        EXPECT_EQ(e.errorNumber(), 2003);
        EXPECT_EQ(std::string(e.what()), "Can't connect to MySQL server on 'no-such-host.invalid' (10061)");
    }
}

TEST(MySqlConnection, SettingServerOrUserClosesTheConnection) {
    MariaDb& db = MariaDb::shared();
    auto c = connectionTo(db);
    c->open();
    c->setPort(db.port());  // unchanged: stays open
    EXPECT_TRUE(c->connected());
    c->setUsername("someone");
    EXPECT_FALSE(c->connected());
    c->setUsername(db.user());
    EXPECT_EQ(scalar(*c, "SELECT 1"), "1");  // a query opens it again
    EXPECT_TRUE(c->connected());
}

TEST(MySqlConnection, EmptyServerMeansLocalhost) {
    MariaDb& db = MariaDb::shared();
    auto c = connectionTo(db);
    c->setServer("");
    c->open();
    EXPECT_EQ(scalar(*c, "SELECT 1"), "1");
    c->close();
    EXPECT_FALSE(c->connected());
}
