#pragma once
// Shared by the dump tests: a backup record for the test server, running a job to
// its end, and comparing two databases value by value.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "backup/BackupJob.h"
#include "backup/NotificationQueue.h"
#include "mysql/MySqlConnection.h"
#include "projects/BackupProject.h"
#include "support/MariaDb.h"
#include "support/RunJob.h"

namespace tharvel::test {

BackupProject serverRecord(const MariaDb& db, const std::string& database, const std::string& backupDir);
// A connection of the program's own client, set up as the backup job sets up its own.
std::unique_ptr<MySqlConnection> openConnection(const MariaDb& db, const std::string& database);

// Every table and view, every SHOW CREATE text, and HEX() of every column of
// every row (FLOAT and DOUBLE by their exact bits, TIMESTAMP in UTC), as one text.
std::string databaseImage(const MariaDb& db, const std::string& database);

std::vector<std::string> crlfLines(const std::string& bytes);

// The backup job's run on a database into dir: its notifications and its dump's path.
struct JobDump {
    std::vector<JobNotification> notes;
    std::string path;
};
JobDump dumpWithJob(const MariaDb& db, const std::string& database, const std::filesystem::path& dir);

// Every column type with its extremes and awkward values, hostile names, views
// that sort before what they use, special columns, an id of 0: SQL for a database.
std::string roundTripFixture();

// Where bytes hold a lone CR, a lone LF or a raw NUL; empty when nowhere.
std::string lineBreakFault(const std::string& bytes);

}  // namespace tharvel::test
