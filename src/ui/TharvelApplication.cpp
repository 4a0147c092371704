#include "ui/TharvelApplication.h"

#include <QFont>

#include "ui/GeneralErrorBox.h"
#include "ui/MessageBoxes.h"
#include "ui/UiLook.h"

namespace tharvel {

TharvelApplication::TharvelApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(MessageBoxes::applicationTitle());
    setStyle(QStringLiteral("Fusion"));
    setFont(UiLook::baseFont());
}

bool TharvelApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        GeneralErrorBox::show(activeWindow(), error);
    } catch (...) {
        GeneralErrorBox::show(activeWindow(), QStringLiteral("Unknown error"));
    }
    return false;
}

}  // namespace tharvel
