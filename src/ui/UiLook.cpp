#include "ui/UiLook.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>
#include <QWidget>

namespace tharvel {

QFont UiLook::baseFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    return font;
}

QLabel* UiLook::caption(QWidget* parent, const QString& text, int x, int y) {
    auto* l = new QLabel(text, parent);
    l->move(x, y);
    l->adjustSize();
    return l;
}

QFont UiLook::boldFont(int pixelSize) {
    QFont font = baseFont();
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

void UiLook::setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Text, colour);
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

void UiLook::setHighlighted(QWidget* edit, bool on) {
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, on ? focusColour() : QApplication::palette().color(QPalette::Base));
    edit->setPalette(palette);
}

}  // namespace tharvel
