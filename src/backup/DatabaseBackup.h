#pragma once
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dump/SqlDump.h"
#include "projects/BackupProject.h"

namespace tharvel {

class MySqlConnection;

// The database step of a backup: connect with the project's settings, dump the
// whole database into the project folder. The dump is written under a partial
// name and replaces the previous one only once it is complete, so a failed or
// cancelled run never destroys the last good dump; a failed one stays on disk
// as "<file>.partial", unless the disk was full, which removes it.
class DatabaseBackup {
public:
    using LogLine = std::function<void(const std::string& line)>;
    using StopRequested = std::function<bool()>;

    // The port text as a decimal integer by the project table's rule (parseInteger:
    // blanks and control characters around it allowed), 3306 when it is not one.
    static int portOf(const std::string& text);
    // Settings of the backup connection (no login prompt, character set utf8,
    // Unicode off, the project's server, port, database, user and password).
    static void configure(MySqlConnection& connection, const BackupProject& project);
    // A connection with those settings, open.
    static std::unique_ptr<MySqlConnection> openConnection(const BackupProject& project);
    // The project's DumpCompression; throws for a name that is none of the known ones.
    static Compression compressionOf(const BackupProject& project);
    // Folder + database + ("_" + yyyy-mm-dd of `now`, local) when a file each day,
    // + ".sql" and the compression's suffix (".sql.gz", ".sql.zst").
    static std::filesystem::path dumpFilePath(const BackupProject& project,
                                              const std::filesystem::path& folder, std::time_t now);
    static std::filesystem::path partialPath(const std::filesystem::path& dumpPath) {
        std::filesystem::path partial = dumpPath;
        partial += ".partial";
        return partial;
    }

    // Runs the step; progress goes to the dump's event (which may throw to stop it),
    // warnings of a dump that still succeeds to `warning`.
    // Once the dump is complete, and unless a stop was requested by then, a project
    // with a file each day and KeepDailyDumps > 0 drops its older dated dumps
    // (pruneDailyDumps), each deletion a log line.
    // Returns the dump file's path; raises with a message on any failure.
    static std::filesystem::path run(const BackupProject& project, const std::filesystem::path& folder,
                                     const SqlDump::ProgressHandler& progress, const LogLine& log = {},
                                     const StopRequested& stopRequested = {}, const LogLine& warning = {});

    // In the folder of `dumpPath`, a dated dump just written, keeps the dated dumps
    // of the same database (its name, "_", yyyy-mm-dd, and any dump suffix) of the
    // `keep` newest dates and of the dump's own date or later, and deletes the others.
    // Dates come from the names; other files, links and folders are not touched.
    // A deletion that fails is logged and the others go on. Returns what was deleted.
    static std::vector<std::filesystem::path> pruneDailyDumps(const std::filesystem::path& dumpPath,
                                                              const std::string& database, int keep,
                                                              const LogLine& log);
};

}  // namespace tharvel
