#include "ui/DesktopStart.h"

#include "ui/TAboutForm.h"
#include "ui/TMainForm.h"
#include "ui/Tcontactmessage.h"
#include "ui/TharvelApplication.h"

namespace tharvel {

int DesktopStart::run(int argc, char** argv) {
    TharvelApplication app(argc, argv);
    TMainForm mainForm;
    auto* aboutForm = new TAboutForm(&mainForm);
    auto* contactForm = new Tcontactmessage(&mainForm);
    mainForm.setAboutForm(aboutForm);
    mainForm.setContactForm(contactForm);
    // Activation work of the web services is added here with
    // mainForm.addActivationHook(...), in this order: the removal of a stale
    // updater, then the assignment of the web-service settings.
    mainForm.show();
    return app.exec();
}

}  // namespace tharvel
