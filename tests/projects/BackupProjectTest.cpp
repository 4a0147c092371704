#include <gtest/gtest.h>

#include "projects/BackupProject.h"

using tharvel::BackupProject;
using tharvel::ProjectColumn;
using tharvel::ProjectTable;
using tharvel::ProjectValue;

TEST(BackupProject, FilledFromARow) {
    ProjectTable::Row row{};
    EXPECT_EQ(BackupProject::fromRow(row).mysqlPort, "3306");
    EXPECT_EQ(BackupProject::fromRow(row).skipFiles, 1);
    EXPECT_EQ(BackupProject::fromRow(row).newBackupEachDay, 0);

    row[0] = "Shop";
    row[1] = "db.local";
    row[2] = 3307;
    row[3] = "shop";
    row[4] = "backup";
    row[5] = "\xC3\xBF\x01";
    row[6] = "1";
    row[9] = 2;
    auto record = BackupProject::fromRow(row);
    EXPECT_EQ(record.project, "Shop");
    EXPECT_EQ(record.mysqlServer, "db.local");
    EXPECT_EQ(record.mysqlPort, "3307");
    EXPECT_EQ(record.mysqlDatabase, "shop");
    EXPECT_EQ(record.mysqlUser, "backup");
    EXPECT_EQ(record.mysqlPassword, "\xC3\xBF\x01");
    EXPECT_EQ(record.newBackupEachDay, 1);
    EXPECT_EQ(record.skipFiles, 2);
}

TEST(BackupProject, DirectoriesEndInASeparator) {
    struct Case {
        ProjectValue value;
        const char* expected;
    };
    for (const Case& c :
         {Case{ProjectValue(), "/"}, Case{ProjectValue(""), "/"}, Case{ProjectValue("/srv/www"), "/srv/www/"},
          Case{ProjectValue("/srv/www/"), "/srv/www/"}, Case{ProjectValue("/"), "/"}}) {
        ProjectTable::Row row{};
        row[static_cast<size_t>(ProjectColumn::FilesDirectory)] = c.value;
        row[static_cast<size_t>(ProjectColumn::BackupDirectory)] = c.value;
        auto record = BackupProject::fromRow(row);
        EXPECT_EQ(record.filesDirectory, c.expected) << c.value.toText();
        EXPECT_EQ(record.backupDirectory, c.expected) << c.value.toText();
    }
    EXPECT_TRUE(BackupProject::isUnset("/"));
}

TEST(BackupProject, FromTheCurrentRowOrItsEditBuffer) {
    ProjectTable table;
    table.append();
    table.setValue(ProjectColumn::Project, "a");
    EXPECT_EQ(BackupProject::fromCurrentRow(table).project, "a");
    table.post();
    EXPECT_EQ(BackupProject::fromCurrentRow(table).project, "a");
}

TEST(BackupProject, OptionalSettingsAreTheirTextOrTheirDefault) {
    ProjectTable::Row row{};
    auto record = BackupProject::fromRow(row);
    EXPECT_EQ(record.mysqlTls, "");
    EXPECT_EQ(record.mysqlTlsCa, "");
    EXPECT_EQ(record.dumpCompression, "");
    EXPECT_EQ(record.keepDailyDumps, 0);

    row[static_cast<size_t>(ProjectColumn::MySQLTLS)] = "required";
    row[static_cast<size_t>(ProjectColumn::MySQLTLSCA)] = "/etc/ca b.pem";
    row[static_cast<size_t>(ProjectColumn::DumpCompression)] = "gzip";
    record = BackupProject::fromRow(row);
    EXPECT_EQ(record.mysqlTls, "required");
    EXPECT_EQ(record.mysqlTlsCa, "/etc/ca b.pem");
    EXPECT_EQ(record.dumpCompression, "gzip");

    struct Case {
        ProjectValue value;
        int expected;
    };
    for (const Case& c :
         {Case{ProjectValue(), 0}, Case{ProjectValue(" 14 "), 14}, Case{ProjectValue(3), 3},
          Case{ProjectValue("abc"), 0}, Case{ProjectValue("-2"), -2}, Case{ProjectValue("99999999999"), 0}}) {
        row[static_cast<size_t>(ProjectColumn::KeepDailyDumps)] = c.value;
        EXPECT_EQ(BackupProject::fromRow(row).keepDailyDumps, c.expected) << c.value.toText();
    }
}
