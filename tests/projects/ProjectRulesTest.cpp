#include <gtest/gtest.h>

#include "projects/ProjectFile.h"
#include "projects/ProjectRules.h"
#include "support/TempDir.h"

using tharvel::PostRefused;
using tharvel::ProjectColumn;
using tharvel::ProjectFile;
using tharvel::ProjectRules;
using tharvel::ProjectTable;
using tharvel::ProjectValue;
using tharvel::test::readFile;
using tharvel::test::TempDir;

TEST(ProjectRules, RefusedPostKeepsTheRowAndSavesNothing) {
    TempDir dir;
    ProjectTable table;
    ProjectRules rules(table, dir / "Tharvel.ini");
    for (bool inserting : {true, false}) {
        if (inserting) {
            table.append();
        } else {
            table.setValue(ProjectColumn::Project, "named");
            table.post();
            std::filesystem::remove(rules.projectFile());
            table.edit();
            table.setValue(ProjectColumn::Project, "");
            table.setValue(ProjectColumn::SkipFiles, ProjectValue());
        }
        try {
            table.post();
            FAIL() << "post was not refused";
        } catch (const PostRefused& refused) {
            EXPECT_STREQ(refused.what(), "Project Name is missing");
        }
        EXPECT_EQ(table.state(), inserting ? ProjectTable::State::Inserting : ProjectTable::State::Editing);
        // The defaults are filled in even though the post was refused.
        EXPECT_EQ(table.value(ProjectColumn::SkipFiles), ProjectValue(1));
        EXPECT_EQ(table.value(ProjectColumn::MySQLNewBackupEachDay), ProjectValue(1));
        EXPECT_FALSE(std::filesystem::exists(rules.projectFile()));
    }
}

TEST(ProjectRules, PostSavesUnlessTagIsOneAndDeleteSaves) {
    TempDir dir;
    ProjectTable table;
    ProjectRules rules(table, dir / "Tharvel.ini");
    table.append();
    table.setValue(ProjectColumn::Project, "a");
    table.setValue(ProjectColumn::SkipFiles, 0);  // a value the rules keep
    {
        tharvel::TagGuard guard(table, 1);
        table.post();
    }
    EXPECT_EQ(table.value(ProjectColumn::SkipFiles), ProjectValue(0));
    EXPECT_FALSE(std::filesystem::exists(rules.projectFile()));

    table.edit();
    table.setValue(ProjectColumn::MySQLUser, "u");
    table.post();
    std::string saved = readFile(rules.projectFile());
    EXPECT_EQ(saved, ProjectFile::encode(table));
    EXPECT_TRUE(rules.lastSaveSucceeded());

    table.remove();
    EXPECT_EQ(readFile(rules.projectFile()), "\xFF\xFE");
}

TEST(ProjectRules, NewProjectDefaults) {
    TempDir dir;
    ProjectTable table;
    ProjectRules rules(table, dir / "Tharvel.ini");
    rules.newProject();
    EXPECT_EQ(table.state(), ProjectTable::State::Inserting);
    EXPECT_TRUE(table.value(ProjectColumn::BackupDirectory).isEmpty());
    EXPECT_EQ(table.value(ProjectColumn::MySQLServer), ProjectValue("localhost"));
    EXPECT_EQ(table.value(ProjectColumn::MySQLPort), ProjectValue(3306));
    EXPECT_EQ(table.value(ProjectColumn::SkipFiles), ProjectValue(1));
    EXPECT_EQ(table.value(ProjectColumn::MySQLNewBackupEachDay), ProjectValue(1));
    for (auto column :
         {ProjectColumn::Project, ProjectColumn::MySQLDataBase, ProjectColumn::MySQLUser,
          ProjectColumn::MySQLPassword, ProjectColumn::FilesDirectory, ProjectColumn::LastBackup})
        EXPECT_TRUE(table.value(column).isEmpty());

    // Nameless: "New project" again is refused and changes nothing.
    EXPECT_THROW(rules.newProject(), PostRefused);
    EXPECT_EQ(table.rowCount(), 0);

    table.setValue(ProjectColumn::Project, "a");
    table.setValue(ProjectColumn::BackupDirectory, "/backups");
    rules.newProject();  // posts "a" first
    EXPECT_EQ(table.rowCount(), 1);
    EXPECT_EQ(table.currentIndex(), 1);
    EXPECT_EQ(table.value(ProjectColumn::BackupDirectory), ProjectValue("/backups"));
}
