#include "projects/BackupProject.h"

namespace tharvel {
namespace {

std::string withSeparator(const ProjectValue& value) {
    std::string text = value.toText();
    if (text.empty() || text.back() != '/') text += '/';
    return text;
}

}  // namespace

BackupProject BackupProject::fromRow(const ProjectTable::Row& row) {
    auto at = [&row](ProjectColumn column) -> const ProjectValue& {
        return row[static_cast<size_t>(column)];
    };
    BackupProject record;
    record.Project = at(ProjectColumn::Project).toText();
    record.MySQLServer = at(ProjectColumn::MySQLServer).toText();
    record.MySQLPort =
        at(ProjectColumn::MySQLPort).isEmpty() ? "3306" : at(ProjectColumn::MySQLPort).toText();
    record.MySQLDataBase = at(ProjectColumn::MySQLDataBase).toText();
    record.MySQLUser = at(ProjectColumn::MySQLUser).toText();
    record.MySQLPassword = at(ProjectColumn::MySQLPassword).toText();
    record.FilesDirectory = withSeparator(at(ProjectColumn::FilesDirectory));
    record.BackupDirectory = withSeparator(at(ProjectColumn::BackupDirectory));
    record.MySQLNewBackupEachDay = at(ProjectColumn::MySQLNewBackupEachDay).toInt32(0);
    record.SkipFiles = at(ProjectColumn::SkipFiles).toInt32(1);
    record.MySQLTLS = at(ProjectColumn::MySQLTLS).toText();
    record.MySQLTLSCA = at(ProjectColumn::MySQLTLSCA).toText();
    record.DumpCompression = at(ProjectColumn::DumpCompression).toText();
    record.KeepDailyDumps = at(ProjectColumn::KeepDailyDumps).toInt32(0);
    return record;
}

}  // namespace tharvel
