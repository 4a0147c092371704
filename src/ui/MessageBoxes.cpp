#include "ui/MessageBoxes.h"

#include <QMessageBox>
#include <QPushButton>

#include "platform/AppPaths.h"

namespace tharvel {
namespace {

void showOk(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text) {
    QMessageBox box(icon, caption, text, QMessageBox::NoButton, parent);
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

}  // namespace

void MessageBoxes::information(QWidget* parent, const QString& text) {
    showOk(parent, QMessageBox::Information, QStringLiteral("Information"), text);
}

void MessageBoxes::warning(QWidget* parent, const QString& text) {
    showOk(parent, QMessageBox::Warning, QStringLiteral("Warning"), text);
}

void MessageBoxes::error(QWidget* parent, const QString& text) {
    showOk(parent, QMessageBox::Critical, QStringLiteral("Error"), text);
}

bool MessageBoxes::confirm(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void MessageBoxes::plain(QWidget* parent, const QString& text) {
    showOk(parent, QMessageBox::NoIcon, applicationTitle(), text);
}

QString MessageBoxes::applicationTitle() {
    return QString::fromStdString(AppPaths::applicationTitle());
}

}  // namespace tharvel
