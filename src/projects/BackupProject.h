#pragma once
#include <cstdint>
#include <string>

#include "projects/ProjectTable.h"

namespace tharvel {

// A backup job's own copy of one project. Directory fields always end in "/";
// "/" alone means "not set" (an empty column or empty text).
struct BackupProject {
    std::string Project;
    std::string MySQLServer;
    std::string MySQLPort;  // "3306" when the column is empty
    std::string MySQLDataBase;
    std::string MySQLUser;
    std::string MySQLPassword;  // the stored (enciphered) form, unchanged
    std::string MySQLTLS;       // "" = default (preferred)
    std::string MySQLTLSCA;     // "" = system store
    std::string FilesDirectory;
    std::string BackupDirectory;
    std::int32_t MySQLNewBackupEachDay = 0;  // 0 when the column is empty
    std::int32_t SkipFiles = 1;              // 1 when the column is empty
    std::string DumpCompression;             // "" = none; the names are DumpCompressor's
    std::int32_t KeepDailyDumps = 0;         // 0 (or less) = keep every dated dump

    static BackupProject fromRow(const ProjectTable::Row& row);
    // From the table's current row (its edit buffer while editing).
    static BackupProject fromCurrentRow(const ProjectTable& table) { return fromRow(table.currentRow()); }

    // True when a directory field means "not set".
    static bool isUnset(const std::string& directory) { return directory == "/"; }
};

}  // namespace tharvel
