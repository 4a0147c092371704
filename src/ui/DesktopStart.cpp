#include "ui/DesktopStart.h"

#include "ui/TAboutForm.h"
#include "ui/TMainForm.h"
#include "ui/Tcontactmessage.h"
#include "ui/TharvelApplication.h"
#include "ui/WebServicesWiring.h"
#include "web/GeneralApplicationToolkitUnit.h"

namespace tharvel {

int DesktopStart::run(int argc, char** argv) {
    TharvelApplication app(argc, argv);
    GeneralApplicationToolkitUnit toolkit;
    TMainForm mainForm;
    auto* aboutForm = new TAboutForm(toolkit, &mainForm);
    auto* contactForm = new Tcontactmessage(toolkit, &mainForm);
    mainForm.setAboutForm(aboutForm);
    mainForm.setContactForm(contactForm);
    WebServicesWiring::attach(mainForm, toolkit);
    mainForm.show();
    return app.exec();
}

}  // namespace tharvel
