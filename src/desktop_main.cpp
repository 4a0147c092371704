#include "backup/UnattendedBackup.h"
#include "ui/DesktopStart.h"

int main(int argc, char** argv) {
    // Started directly with the switch, the desktop program runs it as tharvel does.
    if (tharvel::UnattendedBackup::IsBackupSwitch(argc, argv)) return tharvel::UnattendedBackup::Main();
    return tharvel::DesktopStart::run(argc, argv);
}
