#pragma once
#include <QString>

class QWidget;

namespace tharvel {

// The program's message boxes: information, warning, error and confirmation boxes
// with fixed captions, and plain boxes captioned with the application title.
class MessageBoxes {
public:
    static void information(QWidget* parent, const QString& text);
    static void warning(QWidget* parent, const QString& text);
    static void error(QWidget* parent, const QString& text);
    // "&Yes" and "&No"; true for Yes. Closing the box counts as No.
    static bool confirm(QWidget* parent, const QString& text);
    static void plain(QWidget* parent, const QString& text);

    // The executable's file name without its extension.
    static QString applicationTitle();
};

}  // namespace tharvel
