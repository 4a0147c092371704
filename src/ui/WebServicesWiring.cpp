#include "ui/WebServicesWiring.h"

#include <QCoreApplication>

#include "ui/TAboutForm.h"
#include "ui/TMainForm.h"
#include "web/GeneralApplicationToolkitUnit.h"

namespace tharvel {

void WebServicesWiring::attach(TMainForm& mainForm, GeneralApplicationToolkitUnit& toolkit) {
    mainForm.addActivationHook([&toolkit] { toolkit.RemoveStaleUpdater(); });
    mainForm.addActivationHook([&toolkit] { toolkit.AssignSettings(); });
    if (mainForm.makerSiteAddress().isEmpty()) mainForm.setMakerSiteAddress(TAboutForm::makerSiteAddress());
    // Ends the program once the event in hand has been handled.
    toolkit.platform().requestQuit = [] {
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
    };
}

}  // namespace tharvel
