// The project's encryption keys reach the connection of the database step and of
// the connection test.
#include <gtest/gtest.h>

#include "backup/ConnectionTest.h"
#include "backup/DatabaseBackup.h"
#include "mysql/MySqlConnection.h"
#include "mysql/MySqlError.h"
#include "projects/PasswordCipher.h"
#include "support/MariaDb.h"

using namespace tharvel;

TEST(TlsSetting, ProjectKeysConfigureTheConnection) {
    struct Case {
        std::string mode, ca;
        TlsMode expected;
    } cases[] = {{"", "", TlsMode::Preferred},
                 {"off", "", TlsMode::Off},
                 {"verify", "/etc/ssl/my-ca.pem", TlsMode::Verify}};
    for (const Case& k : cases) {
        BackupProject r;
        r.mysqlTls = k.mode;
        r.mysqlTlsCa = k.ca;
        MySqlConnection c;
        DatabaseBackup::configure(c, r);
        EXPECT_EQ(c.options().tlsMode(), k.expected) << k.mode;
        EXPECT_EQ(c.options().tlsCaFile(), k.ca);
    }
    BackupProject bad;
    bad.mysqlTls = "yes please";
    MySqlConnection c;
    try {
        DatabaseBackup::configure(c, bad);
        FAIL() << "accepted an unknown setting";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("'yes please'"), std::string::npos) << e.what();
    }
}

TEST(TlsSetting, ConnectionTestUsesTheSetting) {
    test::MariaDb& db = test::MariaDb::shared();
    const std::string stored = PasswordCipher::encipherPassword(db.password());
    const std::string port = std::to_string(db.port());
    EXPECT_NO_THROW(ConnectionTest::run(db.host(), port, "", db.user(), stored, "preferred"));
    try {
        ConnectionTest::run(db.host(), port, "", db.user(), stored, "required");
        FAIL() << "the test server offers no TLS";
    } catch (const MySqlError& e) {
        EXPECT_EQ(e.errorNumber(), 2026);
    }
    EXPECT_THROW(ConnectionTest::run(db.host(), port, "", db.user(), stored, "sometimes"),
                 std::invalid_argument);
}
