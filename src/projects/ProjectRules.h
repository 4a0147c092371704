#pragma once
#include <filesystem>

#include "projects/ProjectTable.h"

namespace tharvel {

// The rules of the project table, attached to one ProjectTable for the lifetime of this
// object: before a post an empty SkipFiles and an empty MySQLNewBackupEachDay
// become 1, and a row without a project name is refused (PostRefused with
// kMissingName; the row keeps its state). After a post the whole table is saved to
// the project file unless the table's Tag is 1; after a delete it is saved too.
class ProjectRules {
public:
    static constexpr const char* kMissingName = "Project Name is missing";

    ProjectRules(ProjectTable& table, std::filesystem::path projectFile);
    ~ProjectRules();
    ProjectRules(const ProjectRules&) = delete;
    ProjectRules& operator=(const ProjectRules&) = delete;

    const std::filesystem::path& projectFile() const { return projectFile_; }
    ProjectTable& table() { return table_; }

    // Appends the projects of the project file and makes the first row current.
    void load();
    // Writes the whole table to the project file; false on any failure.
    bool save();
    // Result of the last save (true before any).
    bool lastSaveSucceeded() const { return lastSave_; }

    // "New project": appends a row (ending a pending edit first; a refused post
    // passes out and nothing changes) with server "localhost", port 3306,
    // SkipFiles 1, MySQLNewBackupEachDay 1 and the backup directory of the row
    // that was current. The table is inserting afterwards.
    void newProject();

private:
    void beforePost(ProjectTable& table);
    void afterPost(ProjectTable& table);

    ProjectTable& table_;
    std::filesystem::path projectFile_;
    int beforePostId_, afterPostId_, afterDeleteId_;
    bool lastSave_ = true;
};

}  // namespace tharvel
