#pragma once
#include <QString>
#include <memory>

#include "support/TempDir.h"
#include "ui/MainWindow.h"

namespace tharvel::test {

// Drives a main window over its own data directory (THARVEL_HOME).
class MainWindowDriver {
public:
    MainWindowDriver();
    ~MainWindowDriver();
    MainWindowDriver(const MainWindowDriver&) = delete;
    MainWindowDriver& operator=(const MainWindowDriver&) = delete;

    // Writes the project file (UTF-8 text, CR LF added per line) before show().
    void writeProjects(const std::string& lines);
    std::filesystem::path projectFile() const { return home_ / "Tharvel.ini"; }
    // The project file's text (decoded from UTF-16 LE after its mark).
    std::string projectFileText() const;
    bool show();  // true once the window is active

    // Enabled states: New project, Edit, Delete, Save, Cancel, then the editor frame,
    // the list and the two backup buttons as one (they always move together), as a
    // string of 1 and 0, e.g. "10000 1".
    std::string buttonStates() const;

    void click(QWidget* widget);
    void typeInto(QWidget* widget, const QString& text);
    // Moves the keyboard focus as a click into the widget would.
    void focus(QWidget* widget);

    TempDir home_{"tharvel-ui"};
    std::unique_ptr<MainWindow> window_;
};

}  // namespace tharvel::test
