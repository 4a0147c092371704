#include <gtest/gtest.h>

#include "projects/TBackupRecord.h"

using tharvel::TBackupRecord;
using tharvel::VT;
using tharvel::VTColumn;
using tharvel::VTValue;

TEST(TBackupRecord, FilledFromARow) {
    VT::Row row{};
    EXPECT_EQ(TBackupRecord::fromRow(row).MySQLPort, "3306");
    EXPECT_EQ(TBackupRecord::fromRow(row).SkipFiles, 1);
    EXPECT_EQ(TBackupRecord::fromRow(row).MySQLNewBackupEachDay, 0);

    row[0] = "Shop";
    row[1] = "db.local";
    row[2] = 3307;
    row[3] = "shop";
    row[4] = "backup";
    row[5] = "\xC3\xBF\x01";
    row[6] = "1";
    row[9] = 2;
    auto record = TBackupRecord::fromRow(row);
    EXPECT_EQ(record.Project, "Shop");
    EXPECT_EQ(record.MySQLServer, "db.local");
    EXPECT_EQ(record.MySQLPort, "3307");
    EXPECT_EQ(record.MySQLDataBase, "shop");
    EXPECT_EQ(record.MySQLUser, "backup");
    EXPECT_EQ(record.MySQLPassword, "\xC3\xBF\x01");
    EXPECT_EQ(record.MySQLNewBackupEachDay, 1);
    EXPECT_EQ(record.SkipFiles, 2);
}

TEST(TBackupRecord, DirectoriesEndInASeparator) {
    struct Case {
        VTValue value;
        const char* expected;
    };
    for (const Case& c :
         {Case{VTValue(), "/"}, Case{VTValue(""), "/"}, Case{VTValue("/srv/www"), "/srv/www/"},
          Case{VTValue("/srv/www/"), "/srv/www/"}, Case{VTValue("/"), "/"}}) {
        VT::Row row{};
        row[static_cast<size_t>(VTColumn::FilesDirectory)] = c.value;
        row[static_cast<size_t>(VTColumn::BackupDirectory)] = c.value;
        auto record = TBackupRecord::fromRow(row);
        EXPECT_EQ(record.FilesDirectory, c.expected) << c.value.toText();
        EXPECT_EQ(record.BackupDirectory, c.expected) << c.value.toText();
    }
    EXPECT_TRUE(TBackupRecord::isUnset("/"));
}

TEST(TBackupRecord, FromTheCurrentRowOrItsEditBuffer) {
    VT table;
    table.append();
    table.setValue(VTColumn::Project, "a");
    EXPECT_EQ(TBackupRecord::fromCurrentRow(table).Project, "a");
    table.post();
    EXPECT_EQ(TBackupRecord::fromCurrentRow(table).Project, "a");
}

TEST(TBackupRecord, OptionalSettingsAreTheirTextOrTheirDefault) {
    VT::Row row{};
    auto record = TBackupRecord::fromRow(row);
    EXPECT_EQ(record.MySQLTLS, "");
    EXPECT_EQ(record.MySQLTLSCA, "");
    EXPECT_EQ(record.DumpCompression, "");
    EXPECT_EQ(record.KeepDailyDumps, 0);

    row[static_cast<size_t>(VTColumn::MySQLTLS)] = "required";
    row[static_cast<size_t>(VTColumn::MySQLTLSCA)] = "/etc/ca b.pem";
    row[static_cast<size_t>(VTColumn::DumpCompression)] = "gzip";
    record = TBackupRecord::fromRow(row);
    EXPECT_EQ(record.MySQLTLS, "required");
    EXPECT_EQ(record.MySQLTLSCA, "/etc/ca b.pem");
    EXPECT_EQ(record.DumpCompression, "gzip");

    struct Case {
        VTValue value;
        int expected;
    };
    for (const Case& c :
         {Case{VTValue(), 0}, Case{VTValue(" 14 "), 14}, Case{VTValue(3), 3}, Case{VTValue("abc"), 0},
          Case{VTValue("-2"), -2}, Case{VTValue("99999999999"), 0}}) {
        row[static_cast<size_t>(VTColumn::KeepDailyDumps)] = c.value;
        EXPECT_EQ(TBackupRecord::fromRow(row).KeepDailyDumps, c.expected) << c.value.toText();
    }
}
