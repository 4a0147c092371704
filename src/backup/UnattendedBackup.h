#pragma once
#include <atomic>
#include <cstdio>
#include <filesystem>

namespace tharvel {

// "tharvel -BACKUP": backs up every project of the project file, first row to last,
// one job after the other, with no window and no questions; for cron.
// Each log line goes to standard output as it is written; a live progress line
// goes to standard error only when that is a terminal. Exit code 0 when every
// project succeeded, 1 when any failed (or there was nothing to back up), 2 when
// cancelled. SIGINT and SIGTERM cancel as the Cancel button does; a second one of
// either kind ends the process at once. A log that cannot be written is an error
// (standard error names it, exit code 1); the projects are still backed up.
class UnattendedBackup {
public:
    enum ExitCode { Success = 0, Failed = 1, Cancelled = 2 };

    // True when the first argument is "-BACKUP" in any mix of letter case.
    static bool isBackupSwitch(int argc, char** argv);

    // The whole command: installs the signal handlers and runs on the data directory
    // with the process's standard output and error.
    static int main();

    // Runs the projects of `dataDirectory`/Tharvel.ini, logging to
    // `dataDirectory`/TharvelLog.txt. Log lines go to `out`, messages to `err`, the
    // live progress line to `progress` when it is not null. `cancel` is polled
    // while the run goes on; once true the run is cancelled.
    static int run(const std::filesystem::path& dataDirectory, std::FILE* out, std::FILE* err,
                   std::FILE* progress, const std::atomic<bool>& cancel);
};

}  // namespace tharvel
