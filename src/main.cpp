#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "backup/UnattendedBackup.h"
#include "platform/DesktopLauncher.h"
#include "platform/ProgramVersion.h"

namespace {

const char* const kUsage =
    "Usage: tharvel [-BACKUP | -h | --help | --version]\n"
    "\n"
    "Backs up the MySQL or MariaDB database and the files directory of each backup\n"
    "project in Tharvel.ini.\n"
    "\n"
    "  (no argument)  open the desktop window (needs a display and tharvel-desktop)\n"
    "  -BACKUP        back up every project, first to last, with no window and no\n"
    "                 questions (any letter case); for systemd timers and cron\n"
    "  -h, --help     print this help and exit\n"
    "  --version      print the version and exit\n"
    "\n"
    "Exit status of -BACKUP: 0 every project succeeded, 1 a project failed or there\n"
    "was none, 2 cancelled by SIGINT or SIGTERM.\n"
    "\n"
    "Tharvel.ini and the log TharvelLog.txt live in $THARVEL_HOME when set, else\n"
    "beside the program when a Tharvel.ini is there, else in $XDG_CONFIG_HOME/tharvel\n"
    "(default ~/.config/tharvel). See tharvel(1).\n";

// A help or version text that did not reach its reader is a failure, not a success.
int print(const char* text) {
    std::fputs(text, stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::perror("tharvel: write error");
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    using tharvel::UnattendedBackup;
    // The unattended run is dispatched first, so it never needs a display.
    if (UnattendedBackup::isBackupSwitch(argc, argv)) {
        try {
            return UnattendedBackup::main();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "Error: %s\n", error.what());
            return UnattendedBackup::Failed;
        }
    }
    if (argc > 1) {
        const std::string_view first = argv[1];
        if (first == "-h" || first == "--help") return print(kUsage);
        if (first == "--version")
            return print((std::string("tharvel ") + tharvel::ProgramVersion::text() + "\n").c_str());
    }
    return tharvel::DesktopLauncher::exec(argc, argv, stderr);
}
