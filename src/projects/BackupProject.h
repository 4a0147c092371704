#pragma once
#include <cstdint>
#include <string>

#include "projects/ProjectTable.h"

namespace tharvel {

// A backup job's own copy of one project. Directory fields always end in "/";
// "/" alone means "not set" (an empty column or empty text).
struct BackupProject {
    std::string project;
    std::string mysqlServer;
    std::string mysqlPort;  // "3306" when the column is empty
    std::string mysqlDatabase;
    std::string mysqlUser;
    std::string mysqlPassword;  // the stored (enciphered) form, unchanged
    std::string mysqlTls;       // "" = default (preferred)
    std::string mysqlTlsCa;     // "" = system store
    std::string filesDirectory;
    std::string backupDirectory;
    std::int32_t newBackupEachDay = 0;  // 0 when the column is empty
    std::int32_t skipFiles = 1;         // 1 when the column is empty
    std::string dumpCompression;        // "" = none; the names are DumpCompressor's
    std::int32_t keepDailyDumps = 0;    // 0 (or less) = keep every dated dump

    static BackupProject fromRow(const ProjectTable::Row& row);
    // From the table's current row (its edit buffer while editing).
    static BackupProject fromCurrentRow(const ProjectTable& table) { return fromRow(table.currentRow()); }

    // True when a directory field means "not set".
    static bool isUnset(const std::string& directory) { return directory == "/"; }
};

}  // namespace tharvel
