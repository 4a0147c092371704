#include "ui/ContactWindow.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <optional>

#include "ui/GeneralErrorBox.h"
#include "ui/MessageBoxes.h"
#include "ui/UiIcons.h"
#include "ui/UiLook.h"
#include "ui/WindowWork.h"
#include "web/Connectivity.h"
#include "web/MakerService.h"

namespace tharvel {
namespace {

QLabel* label(QWidget* parent, const char* name, const QString& text, int x, int y) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->move(x, y);
    l->adjustSize();
    return l;
}

}  // namespace

ContactWindow::ContactWindow(Connectivity& connectivity, MakerService& maker, QWidget* parent)
    : QDialog(parent), connectivity_(connectivity), maker_(maker) {
    setObjectName(QStringLiteral("ContactWindow"));
    setWindowTitle(QStringLiteral("Contact Quellan"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(505, 354);
    setFont(UiLook::baseFont());

    emailCaption = label(this, "emailCaption", QStringLiteral("email:"), 16, 8);
    emailEdit = new QLineEdit(emailPlaceholder(), this);
    emailEdit->setObjectName(QStringLiteral("emailEdit"));
    emailEdit->setGeometry(56, 5, 201, 21);
    emailEdit->installEventFilter(this);
    emailHint = label(this, "emailHint", QStringLiteral("Optional if you want to receive a reply"), 272, 8);
    UiLook::setTextColour(emailHint, UiLook::maroon());
    messageCaption = label(this, "messageCaption", QStringLiteral("Your Message"), 16, 40);

    messageEdit = new QPlainTextEdit(this);
    messageEdit->setObjectName(QStringLiteral("messageEdit"));
    messageEdit->setGeometry(16, 56, 449, 113);
    messageEdit->setTabChangesFocus(true);

    sendButton = new QPushButton(QStringLiteral("Send"), this);
    sendButton->setObjectName(QStringLiteral("sendButton"));
    sendButton->setGeometry(16, 176, 273, 25);
    sendButton->setDefault(true);
    connect(sendButton, &QPushButton::clicked, this, &ContactWindow::sendMessage);

    exitButton = new QPushButton(UiIcons::exit(), QStringLiteral("Exit"), this);
    exitButton->setObjectName(QStringLiteral("exitButton"));
    exitButton->setGeometry(304, 176, 161, 25);
    exitButton->setAutoDefault(false);
    connect(exitButton, &QPushButton::clicked, this, &QDialog::reject);

    contactInfoText = new QPlainTextEdit(this);
    contactInfoText->setObjectName(QStringLiteral("contactInfoText"));
    contactInfoText->setReadOnly(true);
    contactInfoText->setFrameShape(QFrame::NoFrame);
    contactInfoText->setFocusPolicy(Qt::ClickFocus);  // not reached by Tab
    QPalette face = contactInfoText->palette();
    face.setColor(QPalette::Base, QApplication::palette().color(QPalette::Button));
    contactInfoText->setPalette(face);
    contactInfoText->setGeometry(16, 208, 449, 81);

    logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("logo"));
    logo->setPixmap(UiIcons::logo(QSize(258, 34)));
    logo->setGeometry(7, 320, 258, 34);

    setTabOrder(messageEdit, sendButton);
    setTabOrder(sendButton, exitButton);
    setTabOrder(exitButton, emailEdit);
}

void ContactWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    messageEdit->setFocus();
    // Only at showing: a message box closing over this window must not reload it.
    QTimer::singleShot(0, this, [this] {
        if (isVisible()) loadContactInfo();
    });
}

bool ContactWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == emailEdit) {
        if (event->type() == QEvent::FocusIn) clearEmailPlaceholder();
        if (event->type() == QEvent::FocusOut) restoreEmailPlaceholder();
    }
    return QDialog::eventFilter(watched, event);
}

void ContactWindow::loadContactInfo() {
    messageEdit->clear();
    // A load still under way (the window was closed and shown again while it
    // waited) fills the text when it ends.
    if (loading_) return;
    loading_ = true;
    GeneralErrorBox::guard(this, [this] {
        std::optional<std::string> text = WindowWork::run(
            {sendButton},
            [&connectivity = connectivity_, &maker = maker_, url = maker_.settings().contactInfoUrl] {
                return connectivity.isInternetAvailable() ? std::optional(maker.getText(url)) : std::nullopt;
            });
        if (text) {
            contactInfoText->setPlainText(QString::fromStdString(*text));
        } else {
            contactInfoText->setPlainText(QStringLiteral("<Could not contact ") +
                                          QString::fromStdString(maker_.baseHostName()) +
                                          QStringLiteral(" site>"));
        }
    });
    loading_ = false;
}

void ContactWindow::clearEmailPlaceholder() {
    if (emailEdit->text() == emailPlaceholder()) emailEdit->clear();
}

void ContactWindow::restoreEmailPlaceholder() {
    if (emailEdit->text().isEmpty()) emailEdit->setText(emailPlaceholder());
}

void ContactWindow::sendMessage() {
    sending_ = true;
    GeneralErrorBox::guard(this, [this] {
        if (messageEdit->toPlainText().isEmpty()) {
            MessageBoxes::plain(this, QStringLiteral("You should enter a message to send"));
            return;
        }
        // The maker's side expects a line break as CR LF.
        QString content = messageEdit->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        std::optional<std::string> reply =
            WindowWork::run({sendButton, exitButton},
                            [&connectivity = connectivity_, &maker = maker_, content = content.toStdString(),
                             email = emailEdit->text().toStdString()] {
                                return connectivity.isInternetAvailable()
                                           ? std::optional(maker.sendToMaker("Comment", content, email))
                                           : std::nullopt;
                            });
        if (reply)
            MessageBoxes::plain(this, QString::fromStdString(*reply));
        else
            MessageBoxes::error(
                this, QStringLiteral("Internet connection failed!\nPlease check your internet connection!"));
    });
    sending_ = false;
    accept();
}

void ContactWindow::reject() {
    // The request reads the web-service settings that closing would reassign.
    if (!sending_) QDialog::reject();
}

}  // namespace tharvel
