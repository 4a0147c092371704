#include "projects/TBackupRecord.h"

namespace tharvel {
namespace {

std::string withSeparator(const VTValue& value) {
    std::string text = value.toText();
    if (text.empty() || text.back() != '/') text += '/';
    return text;
}

}  // namespace

TBackupRecord TBackupRecord::fromRow(const VT::Row& row) {
    auto at = [&row](VTColumn column) -> const VTValue& { return row[static_cast<size_t>(column)]; };
    TBackupRecord record;
    record.Project = at(VTColumn::Project).toText();
    record.MySQLServer = at(VTColumn::MySQLServer).toText();
    record.MySQLPort = at(VTColumn::MySQLPort).isEmpty() ? "3306" : at(VTColumn::MySQLPort).toText();
    record.MySQLDataBase = at(VTColumn::MySQLDataBase).toText();
    record.MySQLUser = at(VTColumn::MySQLUser).toText();
    record.MySQLPassword = at(VTColumn::MySQLPassword).toText();
    record.FilesDirectory = withSeparator(at(VTColumn::FilesDirectory));
    record.BackupDirectory = withSeparator(at(VTColumn::BackupDirectory));
    record.MySQLNewBackupEachDay = at(VTColumn::MySQLNewBackupEachDay).toInt32(0);
    record.SkipFiles = at(VTColumn::SkipFiles).toInt32(1);
    record.MySQLTLS = at(VTColumn::MySQLTLS).toText();
    record.MySQLTLSCA = at(VTColumn::MySQLTLSCA).toText();
    record.DumpCompression = at(VTColumn::DumpCompression).toText();
    record.KeepDailyDumps = at(VTColumn::KeepDailyDumps).toInt32(0);
    return record;
}

}  // namespace tharvel
