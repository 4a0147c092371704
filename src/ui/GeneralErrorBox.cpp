#include "ui/GeneralErrorBox.h"

#include <QMessageBox>
#include <QPushButton>

#include "ui/MessageBoxes.h"

namespace tharvel {

QString GeneralErrorBox::messageText(const QString& message) {
    if (!message.isEmpty() && message.back().isLetterOrNumber()) return message + QLatin1Char('.');
    return message;
}

void GeneralErrorBox::show(QWidget* parent, const QString& message) {
    QMessageBox box(QMessageBox::Critical, MessageBoxes::applicationTitle(), messageText(message),
                    QMessageBox::NoButton, parent);
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

void GeneralErrorBox::show(QWidget* parent, const std::exception& error) {
    show(parent, QString::fromUtf8(error.what()));
}

}  // namespace tharvel
