#include <gtest/gtest.h>

#include "projects/ProjectFile.h"
#include "projects/ProjectRules.h"
#include "support/TempDir.h"

using tharvel::EPostRefused;
using tharvel::ProjectFile;
using tharvel::ProjectRules;
using tharvel::VT;
using tharvel::VTColumn;
using tharvel::VTValue;
using tharvel::test::readFile;
using tharvel::test::TempDir;

TEST(ProjectRules, RefusedPostKeepsTheRowAndSavesNothing) {
    TempDir dir;
    VT table;
    ProjectRules rules(table, dir / "Tharvel.ini");
    for (bool inserting : {true, false}) {
        if (inserting) {
            table.append();
        } else {
            table.setValue(VTColumn::Project, "named");
            table.post();
            std::filesystem::remove(rules.projectFile());
            table.edit();
            table.setValue(VTColumn::Project, "");
            table.setValue(VTColumn::SkipFiles, VTValue());
        }
        try {
            table.post();
            FAIL() << "post was not refused";
        } catch (const EPostRefused& refused) {
            EXPECT_STREQ(refused.what(), "Project Name is missing");
        }
        EXPECT_EQ(table.state(), inserting ? VT::State::Inserting : VT::State::Editing);
        // The defaults are filled in even though the post was refused.
        EXPECT_EQ(table.value(VTColumn::SkipFiles), VTValue(1));
        EXPECT_EQ(table.value(VTColumn::MySQLNewBackupEachDay), VTValue(1));
        EXPECT_FALSE(std::filesystem::exists(rules.projectFile()));
    }
}

TEST(ProjectRules, PostSavesUnlessTagIsOneAndDeleteSaves) {
    TempDir dir;
    VT table;
    ProjectRules rules(table, dir / "Tharvel.ini");
    table.append();
    table.setValue(VTColumn::Project, "a");
    table.setValue(VTColumn::SkipFiles, 0);  // a value the rules keep
    {
        tharvel::VTTagGuard guard(table, 1);
        table.post();
    }
    EXPECT_EQ(table.value(VTColumn::SkipFiles), VTValue(0));
    EXPECT_FALSE(std::filesystem::exists(rules.projectFile()));

    table.edit();
    table.setValue(VTColumn::MySQLUser, "u");
    table.post();
    std::string saved = readFile(rules.projectFile());
    EXPECT_EQ(saved, ProjectFile::encode(table));
    EXPECT_TRUE(rules.lastSaveSucceeded());

    table.remove();
    EXPECT_EQ(readFile(rules.projectFile()), "\xFF\xFE");
}

TEST(ProjectRules, NewProjectDefaults) {
    TempDir dir;
    VT table;
    ProjectRules rules(table, dir / "Tharvel.ini");
    rules.newProject();
    EXPECT_EQ(table.state(), VT::State::Inserting);
    EXPECT_TRUE(table.value(VTColumn::BackupDirectory).isEmpty());
    EXPECT_EQ(table.value(VTColumn::MySQLServer), VTValue("localhost"));
    EXPECT_EQ(table.value(VTColumn::MySQLPort), VTValue(3306));
    EXPECT_EQ(table.value(VTColumn::SkipFiles), VTValue(1));
    EXPECT_EQ(table.value(VTColumn::MySQLNewBackupEachDay), VTValue(1));
    for (auto column : {VTColumn::Project, VTColumn::MySQLDataBase, VTColumn::MySQLUser,
                        VTColumn::MySQLPassword, VTColumn::FilesDirectory, VTColumn::LastBackup})
        EXPECT_TRUE(table.value(column).isEmpty());

    // Nameless: "New project" again is refused and changes nothing.
    EXPECT_THROW(rules.newProject(), EPostRefused);
    EXPECT_EQ(table.rowCount(), 0);

    table.setValue(VTColumn::Project, "a");
    table.setValue(VTColumn::BackupDirectory, "/backups");
    rules.newProject();  // posts "a" first
    EXPECT_EQ(table.rowCount(), 1);
    EXPECT_EQ(table.currentIndex(), 1);
    EXPECT_EQ(table.value(VTColumn::BackupDirectory), VTValue("/backups"));
}
