#include "ui/UiIcons.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace tharvel {
namespace {

// A symbol of the DejaVu font in a colour, centred on a 16 x 16 transparent square.
QIcon glyph(const QString& symbol, const QColor& colour) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(14);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, symbol);
    painter.end();
    return QIcon(pixmap);
}

}  // namespace

QIcon UiIcons::about() {
    return glyph(QStringLiteral("\u2139"), QColor(0, 90, 200));
}
QIcon UiIcons::contact() {
    return glyph(QStringLiteral("\u2709"), QColor(0, 90, 200));
}
QIcon UiIcons::exit() {
    return glyph(QStringLiteral("\u2716"), QColor(190, 30, 30));
}
QIcon UiIcons::newProject() {
    return glyph(QStringLiteral("\u271A"), QColor(0, 140, 60));
}
QIcon UiIcons::deleteProject() {
    return glyph(QStringLiteral("\u2716"), QColor(190, 30, 30));
}
QIcon UiIcons::editProject() {
    return glyph(QStringLiteral("\u270E"), QColor(0, 90, 200));
}
QIcon UiIcons::save() {
    return glyph(QStringLiteral("\u2714"), QColor(0, 140, 60));
}
QIcon UiIcons::cancel() {
    return glyph(QStringLiteral("\u21B6"), QColor(190, 30, 30));
}
QIcon UiIcons::testConnection() {
    return glyph(QStringLiteral("\u21C4"), QColor(0, 90, 200));
}
QIcon UiIcons::clearPassword() {
    return glyph(QStringLiteral("\u232B"), QColor(190, 30, 30));
}
QIcon UiIcons::viewLog() {
    return glyph(QStringLiteral("\u2630"), QColor(0, 90, 200));
}

QPixmap UiIcons::logo(QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, size.width(), 0);
    gradient.setColorAt(0, QColor(20, 60, 140));
    gradient.setColorAt(1, QColor(60, 140, 210));
    QPainterPath path;
    path.addRoundedRect(QRectF(1, 1, size.width() - 2, size.height() - 2), 6, 6);
    painter.fillPath(path, gradient);
    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(18);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(Qt::white);
    painter.drawText(QRect(12, 0, size.width() - 24, size.height()), Qt::AlignVCenter | Qt::AlignLeft,
                     QStringLiteral("Tharvel"));
    QFont tagline(QStringLiteral("DejaVu Sans"));
    tagline.setPixelSize(10);
    painter.setFont(tagline);
    painter.setPen(QColor(225, 235, 250));
    painter.drawText(QRect(12, 0, size.width() - 24, size.height()), Qt::AlignVCenter | Qt::AlignRight,
                     QStringLiteral("database and files backup"));
    return pixmap;
}

}  // namespace tharvel
