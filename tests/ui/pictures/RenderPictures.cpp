// Renders the windows to PNG files under the offscreen platform:
//   test_ui_pictures <output folder>
#include <QApplication>
#include <QDir>
#include <QPixmap>

#include "UiTestSupport.h"
#include "ui/TMainForm.h"
#include "ui/TharvelApplication.h"

using namespace tharvel;

namespace {

void save(QWidget* widget, const QString& file) {
    widget->grab().save(file);
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TharvelApplication app(argc, argv);
    QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    out.mkpath(QStringLiteral("."));
    TMainForm main;
    main.show();
    QApplication::processEvents();
    save(&main, out.filePath(QStringLiteral("main-window.png")));
    return 0;
}
