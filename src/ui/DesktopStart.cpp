#include "ui/DesktopStart.h"

#include <cstdio>
#include <optional>

#include "platform/DesktopLauncher.h"
#include "ui/QtPlatformGuard.h"
#include "ui/TAboutForm.h"
#include "ui/TMainForm.h"
#include "ui/Tcontactmessage.h"
#include "ui/TharvelApplication.h"
#include "ui/WebServicesWiring.h"
#include "web/Connectivity.h"
#include "web/MakerService.h"
#include "web/Updater.h"

namespace tharvel {

int DesktopStart::run(int argc, char** argv) {
    // Without a display Qt would abort; say why in one line instead.
    if (!DesktopLauncher::DisplayAvailable()) {
        std::fprintf(stderr, "%s\n", DesktopLauncher::NoDisplayMessage().c_str());
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
    TMainForm mainForm;
    auto* aboutForm = new TAboutForm(connectivity, maker, updater, &mainForm);
    auto* contactForm = new Tcontactmessage(connectivity, maker, &mainForm);
    mainForm.setAboutForm(aboutForm);
    mainForm.setContactForm(contactForm);
    WebServicesWiring::attach(mainForm, maker, updater);
    mainForm.show();
    return app->exec();
}

}  // namespace tharvel
