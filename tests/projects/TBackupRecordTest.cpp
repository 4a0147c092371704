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
