#pragma once

namespace tharvel {

class MakerService;
class Updater;
class MainWindow;

// Ties the maker's web services to the main window: at every activation the stale
// updater is removed and then the web-service settings are assigned; the logo opens
// the maker's site; a started updater ends the program.
class WebServicesWiring {
public:
    static void attach(MainWindow& mainWindow, MakerService& maker, Updater& updater);
};

}  // namespace tharvel
