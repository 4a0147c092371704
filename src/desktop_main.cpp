#include "backup/UnattendedBackup.h"
#include "ui/DesktopStart.h"

int main(int argc, char** argv) {
    // Started directly with the switch, the desktop program runs it as tharvel does.
    if (tharvel::UnattendedBackup::isBackupSwitch(argc, argv)) return tharvel::UnattendedBackup::main();
    return tharvel::DesktopStart::run(argc, argv);
}
