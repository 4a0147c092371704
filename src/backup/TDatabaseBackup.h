#pragma once
#include <ctime>
#include <functional>
#include <string>

#include "dump/TDADump.h"
#include "projects/TBackupRecord.h"

namespace tharvel {

class TMyConnection;

// The database step of a backup: connect with the project's settings, dump the
// whole database into the project folder. The dump is written under a partial
// name and replaces the previous one only once it is complete, so a failed or
// cancelled run never destroys the last good dump; a failed one stays on disk
// as "<file>.partial".
class TDatabaseBackup {
public:
    // The port text as a decimal integer, 3306 when it is not one.
    static int PortOf(const std::string& text);
    // Settings of the backup connection (no login prompt, character set utf8,
    // Unicode off, the project's server, port, database, user and password).
    static void Configure(TMyConnection& connection, const TBackupRecord& project);
    // Folder + database + ("_" + yyyy-mm-dd of `now`, local) when a file each day, + ".sql".
    static std::string DumpFilePath(const TBackupRecord& project, const std::string& folder, std::time_t now);
    static std::string PartialPath(const std::string& dumpPath) { return dumpPath + ".partial"; }

    // Runs the step; progress goes to the dump's event (which may throw to stop it),
    // warnings of a dump that still succeeds to `warning`.
    // Returns the dump file's path; raises with a message on any failure.
    static std::string Run(const TBackupRecord& project, const std::string& folder,
                           const TDABackupProgressEvent& progress,
                           const std::function<void(const std::string&)>& warning = {});
};

}  // namespace tharvel
