#include <gtest/gtest.h>

#include "mysql/MySqlConnection.h"
#include "mysql/MySqlError.h"

using namespace tharvel;

TEST(ClientErrors, TextsAndMessages) {
    EXPECT_EQ(MySqlError::clientErrorText(1999), "");
    EXPECT_EQ(MySqlError::clientErrorText(2048), "");
    EXPECT_EQ(MySqlError::clientErrorText(2000), "Unknown MySQL error");
    EXPECT_EQ(MySqlError::clientErrorText(2047), "Invalid connection handle");
    EXPECT_EQ(MySqlError::clientErrorText(2027), "Malformed packet");

    auto refused = MySqlError::client(2003, {"db1", "10061"},
                                      "Socket error on connect. WSAGetLastError return 111($6F)");
    EXPECT_EQ(refused.errorNumber(), 2003);
    EXPECT_STREQ(
        refused.what(),
        "Can't connect to MySQL server on 'db1' (10061)\r\nSocket error on connect. WSAGetLastError return "
        "111($6F)");
    EXPECT_STREQ(MySqlError::client(2003, {"db1", "10061"}).what(),
                 "Can't connect to MySQL server on 'db1' (10061)");
    EXPECT_STREQ(MySqlError::client(2007, {"9", "10"}).what(),
                 "Protocol mismatch. Server Version = 9 Client Version = 10");
    std::string longHost(100, 'h');
    EXPECT_EQ(std::string(MySqlError::client(2005, {longHost, "1"}).what()),
              "Unknown MySQL Server Host '" + std::string(64, 'h') + "' (1)");
    EXPECT_STREQ(MySqlError::clientDetail(2014, "mysql.status = 2").what(),
                 "Commands out of sync;  You can't run this command now\r\nmysql.status = 2");

    auto server = MySqlError::server(1045, "#28000Access denied for user 'x'@'y'");
    EXPECT_EQ(server.errorNumber(), 1045);
    EXPECT_STREQ(server.what(), "\r\n#28000Access denied for user 'x'@'y'");
}

TEST(ClientErrors, ConnectionLostClass) {
    struct Case {
        int code;
        std::string message;
        bool lost;
    } cases[] = {
        {2006, "gone", true},
        {2013, "lost", true},
        {1053, "shutdown", true},
        {2003, "no connect", true},
        {1045, "denied", false},
        {1062, "Duplicate entry '1' for key 'PRIMARY'", false},
        {1064, "You have an error in your SQL syntax; ... near 'x' at line 12", false},
        {1146, "Table 'a.b2' doesn't exist", false},
    };
    for (const Case& k : cases) {
        MySqlError e(k.code, k.message);
        EXPECT_EQ(e.isConnectionLost(), k.lost) << k.code;
        EXPECT_EQ(e.errorNumber(), k.code);
        EXPECT_EQ(e.what(), k.message);
    }
}

TEST(ServerVersion, ParsesThreeNumbersOrFailsWithTheConversionError) {
    struct Case {
        std::string text;
        int major, minor, release;
        std::string error;
    } cases[] = {
        {"5.5.5-10.11.6-MariaDB", 5, 5, 5, ""},
        {"10.11.6", 10, 11, 6, ""},
        {"4.0.27-log", 4, 0, 27, ""},
        {"abc", 0, 0, 0, "'abc' is not a valid integer value"},
        {"5.1", 0, 0, 0, "'' is not a valid integer value"},
        {"5", 0, 0, 0, "'' is not a valid integer value"},
    };
    for (const Case& k : cases) {
        int major = 0, minor = 0, release = 0;
        try {
            MySqlConnection::parseVersion(k.text, major, minor, release);
            EXPECT_EQ(k.error, "") << k.text;
            EXPECT_EQ(major, k.major);
            EXPECT_EQ(minor, k.minor);
            EXPECT_EQ(release, k.release);
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), k.error) << k.text;
        }
    }
}
