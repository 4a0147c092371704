#include <gtest/gtest.h>

#include "DumpTestSupport.h"
#include "backup/ConnectionTest.h"
#include "backup/DatabaseBackup.h"
#include "mysql/MySqlConnection.h"
#include "mysql/MySqlError.h"
#include "projects/PasswordCipher.h"
#include "projects/ProjectTable.h"
#include "support/TempDir.h"

namespace tharvel::test {
namespace {

TEST(DatabaseStep, NamesTheDumpFileAndReadsThePort) {
    BackupProject r;
    r.mysqlDatabase = "shop";
    std::tm day{};
    day.tm_year = 124, day.tm_mon = 11, day.tm_mday = 9, day.tm_hour = 12;
    const std::time_t when = std::mktime(&day);
    const std::string folder = "/backups/Web shop/";
    const std::pair<int, std::string> cases[] = {
        {1, folder + "shop_2024-12-09.sql"}, {0, folder + "shop.sql"}, {2, folder + "shop.sql"}};
    for (const auto& [each, path] : cases) {
        r.newBackupEachDay = each;
        EXPECT_EQ(DatabaseBackup::dumpFilePath(r, folder, when).string(), path);
    }
    EXPECT_EQ(DatabaseBackup::portOf("3307"), 3307);
    EXPECT_EQ(DatabaseBackup::portOf("33o6"), 3306);
    EXPECT_EQ(DatabaseBackup::portOf(""), 3306);
    EXPECT_EQ(DatabaseBackup::portOf("99999999999"), 3306);
}

TEST(ConnectionTest, SucceedsOrRaisesTheConnectionsError) {
    MariaDb& db = MariaDb::shared();
    const std::string port = std::to_string(db.port());
    const std::string stored = PasswordCipher::encipherPassword(db.password());
    EXPECT_NO_THROW(ConnectionTest::run(db.host(), port, "", db.user(), stored));
    auto error = [&](const std::string& p, const std::string& password) -> std::string {
        try {
            ConnectionTest::run(db.host(), p, "", db.user(), password);
        } catch (const MySqlError& e) {
            return std::to_string(e.errorNumber()) + " " + e.what();
        }
        return "no error";
    };
    EXPECT_NE(error(port, PasswordCipher::encipherPassword("wrong")).find("1045"), std::string::npos);
    EXPECT_NE(error(port, "").find("Access denied"), std::string::npos);  // empty password: no cipher
    EXPECT_EQ(error("1", stored).rfind("2003 Can't connect to MySQL server on '127.0.0.1' (10061)", 0), 0u);
}

// One rule for the port text wherever it is read: the table's integer rule, 3306
// for anything that is not an integer.
TEST(DatabaseStep, PortTextFollowsTheTablesRuleInBothCallers) {
    MariaDb& db = MariaDb::shared();
    const std::string p = std::to_string(db.port());
    const std::pair<std::string, bool> cases[] = {
        {p, true},       {" " + p, true},  {p + " ", true},        {"\t" + p + "\r", true},
        {"+" + p, true}, {p + "x", false}, {p + ".0", false},      {"3 3", false},
        {"", false},     {"0x10", false},  {"99999999999", false},
    };
    for (const auto& [text, number] : cases) {
        SCOPED_TRACE("port text '" + text + "'");
        const int expected = number ? db.port() : 3306;
        EXPECT_EQ(DatabaseBackup::portOf(text), expected);
        // The table reads the same number (0 is its "not a number").
        EXPECT_EQ(ProjectValue(text).toInt32(0), number ? db.port() : 0);
        // The database step's connection.
        BackupProject r = serverRecord(db, "", "/tmp/");
        r.mysqlPort = text;
        MySqlConnection connection;
        DatabaseBackup::configure(connection, r);
        EXPECT_EQ(connection.port(), expected);
        // The connection test reaches the server exactly when the text is its port.
        if (number) {
            EXPECT_NO_THROW(ConnectionTest::run(db.host(), text, "", db.user(),
                                                PasswordCipher::encipherPassword(db.password())));
        }
    }
}

TEST(DatabaseStep, CipherFailureFailsTheStepInsteadOfSendingZeroBytes) {
    MariaDb& db = MariaDb::shared();
    BackupProject r = serverRecord(db, "", "/tmp/");
    ASSERT_FALSE(r.mysqlPassword.empty());
    TempDir tmp;
    BackupProject job = serverRecord(db, "mysql", tmp.path().string() + "/");
    PasswordCipher::DigestNameOverride noMd5("NO-SUCH-DIGEST");
    MySqlConnection connection;
    try {
        DatabaseBackup::configure(connection, r);
        ADD_FAILURE() << "no error";
    } catch (const CipherError& error) {
        EXPECT_STREQ(error.what(), PasswordCipher::kDecipherFailed);
    }
    EXPECT_THROW(ConnectionTest::run(db.host(), r.mysqlPort, "", db.user(), r.mysqlPassword), CipherError);
    // The job reports it as its error, before any connection is tried.
    auto queue = std::make_shared<NotificationQueue>();
    auto notes = runJob(BackupJob::create(job, queue), queue);
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.back(),
              (JobNotification{JobNotification::JobFailed, 0, PasswordCipher::kDecipherFailed}));
}

// The partial file of a run that filled the disk is removed (here the partial name
// leads to /dev/full, which takes no byte); one of a run stopped otherwise is kept.
TEST(DatabaseStep, AFullDiskRemovesThePartialDump) {
    MariaDb& db = MariaDb::shared();
    const std::string name = db.freshDatabase("full");
    db.sql("CREATE TABLE t (id INT); INSERT INTO t VALUES (1);", name);
    TempDir dir;
    const std::string folder = (dir / "Web shop").string() + "/";
    std::filesystem::create_directories(folder);
    const BackupProject r = serverRecord(db, name, dir.path().string() + "/");
    const std::string partial = DatabaseBackup::partialPath(DatabaseBackup::dumpFilePath(r, folder, 0));
    std::filesystem::create_symlink("/dev/full", partial);
    try {
        DatabaseBackup::run(r, folder, {});
        ADD_FAILURE() << "a dump onto a full disk succeeded";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Stream write error: No space left on device. The partial dump file \"" + partial +
                      "\" was removed.");
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(partial)));
}

}  // namespace
}  // namespace tharvel::test
