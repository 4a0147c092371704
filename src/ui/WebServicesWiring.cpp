#include "ui/WebServicesWiring.h"

#include <QCoreApplication>

#include "ui/TAboutForm.h"
#include "ui/TMainForm.h"
#include "web/MakerService.h"
#include "web/Updater.h"

namespace tharvel {

void WebServicesWiring::attach(TMainForm& mainForm, MakerService& maker, Updater& updater) {
    mainForm.addActivationHook([&updater] { updater.removeStale(); });
    mainForm.addActivationHook([&maker] { maker.assignSettings(); });
    if (mainForm.makerSiteAddress().isEmpty()) mainForm.setMakerSiteAddress(TAboutForm::makerSiteAddress());
    // Ends the program once the event in hand has been handled.
    updater.platform().requestQuit = [] {
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
    };
}

}  // namespace tharvel
