#include "ui/WebServicesWiring.h"

#include <QCoreApplication>

#include "ui/AboutWindow.h"
#include "ui/MainWindow.h"
#include "web/MakerService.h"
#include "web/Updater.h"

namespace tharvel {

void WebServicesWiring::attach(MainWindow& mainWindow, MakerService& maker, Updater& updater) {
    mainWindow.addActivationHook([&updater] { updater.removeStale(); });
    mainWindow.addActivationHook([&maker] { maker.assignSettings(); });
    if (mainWindow.makerSiteAddress().isEmpty())
        mainWindow.setMakerSiteAddress(AboutWindow::makerSiteAddress());
    // Ends the program once the event in hand has been handled.
    updater.platform().requestQuit = [] {
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
    };
}

}  // namespace tharvel
