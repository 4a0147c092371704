#include "ui/DesktopStart.h"

#include <cstdio>
#include <optional>

#include "platform/DesktopLauncher.h"
#include "ui/AboutWindow.h"
#include "ui/ContactWindow.h"
#include "ui/MainWindow.h"
#include "ui/QtPlatformGuard.h"
#include "ui/TharvelApplication.h"
#include "ui/WebServicesWiring.h"
#include "web/Connectivity.h"
#include "web/MakerService.h"
#include "web/Updater.h"

namespace tharvel {

int DesktopStart::run(int argc, char** argv) {
    // Without a display Qt would abort; say why in one line instead.
    if (!DesktopLauncher::displayAvailable()) {
        std::fprintf(stderr, "%s\n", DesktopLauncher::noDisplayMessage().c_str());
        return 1;
    }
    std::optional<TharvelApplication> app;
    {
        QtPlatformGuard guard;
        app.emplace(argc, argv);
    }
    Connectivity connectivity;
    MakerService maker;
    Updater updater(maker);
    MainWindow mainWindow;
    auto* aboutWindow = new AboutWindow(connectivity, maker, updater, &mainWindow);
    auto* contactWindow = new ContactWindow(connectivity, maker, &mainWindow);
    mainWindow.setAboutWindow(aboutWindow);
    mainWindow.setContactWindow(contactWindow);
    WebServicesWiring::attach(mainWindow, maker, updater);
    mainWindow.show();
    return app->exec();
}

}  // namespace tharvel
