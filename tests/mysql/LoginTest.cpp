#include <arpa/inet.h>
#include <fcntl.h>
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

// MariaDB still offers the old password format; the server asks for it with the
// single byte 254 after the 4.1 response.
TEST(Login, OldPasswordUserOnARealServer) {
    MariaDb server;
    server.sql(
        "SET GLOBAL secure_auth = 0;"
        "SELECT OLD_PASSWORD('old pw') INTO @h;"
        "SET @s = CONCAT('CREATE USER oldie@''%'' IDENTIFIED VIA mysql_old_password USING ''', @h, '''');"
        "PREPARE st FROM @s; EXECUTE st; GRANT ALL ON *.* TO oldie@'%';");
    auto c = connectionTo(server);
    c->setUsername("oldie");
    c->setPassword("old pw");
    c->open();
    MySqlQuery q(*c);
    ASSERT_TRUE(q.open("SELECT CURRENT_USER()"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0), "oldie@%");
    q.close();
    c->close();
    c->setPassword("wrong");
    try {
        c->open();
        FAIL() << "wrong old-style password accepted";
    } catch (const MySqlError& e) {
        EXPECT_EQ(e.errorNumber(), 1045);
    }
}

// A listener whose queue is full drops new connection requests, like a firewall:
// the connect must give up after the connection timeout.
TEST(Login, ConnectGivesUpAfterTheConnectionTimeout) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(listener, 0), 0);
    socklen_t len = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        fillers.push_back(s);
    }
    usleep(100000);
    MySqlConnection c;
    c.setServer("127.0.0.1");
    c.setPort(ntohs(a.sin_port));
    c.setConnectionTimeout(1);
    try {
        c.open();
        FAIL() << "connected through a full queue";
    } catch (const MySqlError& e) {
        EXPECT_EQ(e.errorNumber(), 2003);
        std::string text = e.what();
        EXPECT_NE(
            text.find(
                "(10061)\r\nSocket error on connect. WSAGetLastError return 110($6E) (timed out after 1 s)"),
            std::string::npos)
            << text;
    }
    EXPECT_FALSE(c.connected());
    for (int s : fillers) close(s);
    close(listener);
}
