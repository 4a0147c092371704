#pragma once
#include <QColor>
#include <QFont>

class QLabel;
class QString;
class QWidget;

namespace tharvel {

// Fonts and colours shared by the windows.
class UiLook {
public:
    // DejaVu Sans ships with every Debian desktop; the sizes are chosen so that
    // every caption fits its control.
    static QFont baseFont();                    // window text
    static QFont boldFont(int pixelSize = 11);  // bold captions and buttons
    static QColor focusColour() { return QColor(255, 255, 225); }
    static QColor navy() { return QColor(0, 0, 128); }
    static QColor green() { return QColor(0, 128, 0); }
    static QColor red() { return QColor(255, 0, 0); }
    static QColor maroon() { return QColor(128, 0, 0); }

    static void setTextColour(QWidget* widget, const QColor& colour);
    // A caption at x, y of its parent, as wide as its text.
    static QLabel* caption(QWidget* parent, const QString& text, int x, int y);
    // Paints an edit's background in the focus colour, or back in the window colour.
    static void setHighlighted(QWidget* edit, bool on);
};

}  // namespace tharvel
