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
    record.project = at(ProjectColumn::Project).toText();
    record.mysqlServer = at(ProjectColumn::MySQLServer).toText();
    record.mysqlPort =
        at(ProjectColumn::MySQLPort).isEmpty() ? "3306" : at(ProjectColumn::MySQLPort).toText();
    record.mysqlDatabase = at(ProjectColumn::MySQLDataBase).toText();
    record.mysqlUser = at(ProjectColumn::MySQLUser).toText();
    record.mysqlPassword = at(ProjectColumn::MySQLPassword).toText();
    record.filesDirectory = withSeparator(at(ProjectColumn::FilesDirectory));
    record.backupDirectory = withSeparator(at(ProjectColumn::BackupDirectory));
    record.newBackupEachDay = at(ProjectColumn::MySQLNewBackupEachDay).toInt32(0);
    record.skipFiles = at(ProjectColumn::SkipFiles).toInt32(1);
    record.mysqlTls = at(ProjectColumn::MySQLTLS).toText();
    record.mysqlTlsCa = at(ProjectColumn::MySQLTLSCA).toText();
    record.dumpCompression = at(ProjectColumn::DumpCompression).toText();
    record.keepDailyDumps = at(ProjectColumn::KeepDailyDumps).toInt32(0);
    return record;
}

}  // namespace tharvel
