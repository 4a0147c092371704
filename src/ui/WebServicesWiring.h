#pragma once

namespace tharvel {

class GeneralApplicationToolkitUnit;
class TMainForm;

// Ties the maker's web services to the main window: at every activation the stale
// updater is removed and then the web-service settings are assigned; the logo opens
// the maker's site; a started updater ends the program.
class WebServicesWiring {
public:
    static void attach(TMainForm& mainForm, GeneralApplicationToolkitUnit& toolkit);
};

}  // namespace tharvel
