#include "projects/ProjectRules.h"

#include "projects/ProjectFile.h"

namespace tharvel {

ProjectRules::ProjectRules(VT& table, std::filesystem::path projectFile)
    : table_(table), projectFile_(std::move(projectFile)) {
    beforePostId_ = table_.beforePost.connect([this](VT& t) { beforePost(t); });
    afterPostId_ = table_.afterPost.connect([this](VT& t) { afterPost(t); });
    afterDeleteId_ = table_.afterDelete.connect([this](VT&) { save(); });
}

ProjectRules::~ProjectRules() {
    table_.beforePost.disconnect(beforePostId_);
    table_.afterPost.disconnect(afterPostId_);
    table_.afterDelete.disconnect(afterDeleteId_);
}

void ProjectRules::beforePost(VT& table) {
    if (table.value(VTColumn::SkipFiles).isEmpty()) table.setValue(VTColumn::SkipFiles, 1);
    if (table.value(VTColumn::MySQLNewBackupEachDay).isEmpty())
        table.setValue(VTColumn::MySQLNewBackupEachDay, 1);
    if (table.value(VTColumn::Project).toText().empty()) throw EPostRefused(kMissingName);
}

void ProjectRules::afterPost(VT& table) {
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
    std::string backupDirectory = table_.value(VTColumn::BackupDirectory).toText();
    table_.append();
    table_.setValue(VTColumn::BackupDirectory, backupDirectory);
    table_.setValue(VTColumn::MySQLServer, "localhost");
    table_.setValue(VTColumn::MySQLPort, 3306);
    table_.setValue(VTColumn::SkipFiles, 1);
    table_.setValue(VTColumn::MySQLNewBackupEachDay, 1);
}

}  // namespace tharvel
