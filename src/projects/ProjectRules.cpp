#include "projects/ProjectRules.h"

#include "projects/ProjectFile.h"

namespace tharvel {

ProjectRules::ProjectRules(ProjectTable& table, std::filesystem::path projectFile)
    : table_(table), projectFile_(std::move(projectFile)) {
    beforePostId_ = table_.beforePost.connect([this](ProjectTable& t) { beforePost(t); });
    afterPostId_ = table_.afterPost.connect([this](ProjectTable& t) { afterPost(t); });
    afterDeleteId_ = table_.afterDelete.connect([this](ProjectTable&) { save(); });
}

ProjectRules::~ProjectRules() {
    table_.beforePost.disconnect(beforePostId_);
    table_.afterPost.disconnect(afterPostId_);
    table_.afterDelete.disconnect(afterDeleteId_);
}

void ProjectRules::beforePost(ProjectTable& table) {
    if (table.value(ProjectColumn::SkipFiles).isEmpty()) table.setValue(ProjectColumn::SkipFiles, 1);
    if (table.value(ProjectColumn::MySQLNewBackupEachDay).isEmpty())
        table.setValue(ProjectColumn::MySQLNewBackupEachDay, 1);
    if (table.value(ProjectColumn::Project).toText().empty()) throw PostRefused(kMissingName);
}

void ProjectRules::afterPost(ProjectTable& table) {
    if (table.tag() == 0) save();
}

void ProjectRules::load() {
    ProjectFile::load(projectFile_, table_);
}

bool ProjectRules::save() {
    lastSave_ = ProjectFile::save(projectFile_, table_);
    return lastSave_;
}

void ProjectRules::newProject() {
    // The current row's (or pending row's) directory; empty without a current row.
    std::string backupDirectory = table_.value(ProjectColumn::BackupDirectory).toText();
    table_.append();
    table_.setValue(ProjectColumn::BackupDirectory, backupDirectory);
    table_.setValue(ProjectColumn::MySQLServer, "localhost");
    table_.setValue(ProjectColumn::MySQLPort, 3306);
    table_.setValue(ProjectColumn::SkipFiles, 1);
    table_.setValue(ProjectColumn::MySQLNewBackupEachDay, 1);
}

}  // namespace tharvel
