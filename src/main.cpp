#include <cstdio>
#include <exception>

#include "backup/UnattendedBackup.h"
#include "platform/AppPaths.h"
#include "projects/ProjectFile.h"
#include "projects/ProjectRules.h"
#include "projects/VT.h"

#ifdef THARVEL_HAVE_GUI
#include "ui/DesktopStart.h"
#endif

int main(int argc, char** argv) {
    // The unattended run is dispatched first, so it never needs a display.
    if (tharvel::UnattendedBackup::IsBackupSwitch(argc, argv)) return tharvel::UnattendedBackup::Main();
#ifdef THARVEL_HAVE_GUI
    return tharvel::DesktopStart::run(argc, argv);
#else
    (void)argc;
    (void)argv;
    // Built without the desktop window: report the projects.
    try {
        tharvel::VT table;
        tharvel::ProjectRules rules(table,
                                    tharvel::AppPaths::dataDirectory() / tharvel::ProjectFile::kFileName);
        rules.load();
        std::printf("Project file: %s\n%d project(s)\n", rules.projectFile().c_str(), table.rowCount());
        for (int i = 0; i < table.rowCount(); ++i) std::printf("  %s\n", table.row(i)[0].toText().c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
#endif
}
