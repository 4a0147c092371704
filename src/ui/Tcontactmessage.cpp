#include "ui/Tcontactmessage.h"

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

Tcontactmessage::Tcontactmessage(Connectivity& connectivity, MakerService& maker, QWidget* parent)
    : QDialog(parent), connectivity_(connectivity), maker_(maker) {
    setObjectName(QStringLiteral("contactmessage"));
    setWindowTitle(QStringLiteral("Contact Quellan"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(505, 354);
    setFont(UiLook::baseFont());

    Label1 = label(this, "Label1", QStringLiteral("email:"), 16, 8);
    Edit1 = new QLineEdit(emailPlaceholder(), this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(56, 5, 201, 21);
    Edit1->installEventFilter(this);
    Label3 = label(this, "Label3", QStringLiteral("Optional if you want to receive a reply"), 272, 8);
    UiLook::setTextColour(Label3, UiLook::maroon());
    Label2 = label(this, "Label2", QStringLiteral("Your Message"), 16, 40);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(16, 56, 449, 113);
    Memo1->setTabChangesFocus(true);

    BitBtn1 = new QPushButton(QStringLiteral("Send"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(16, 176, 273, 25);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &Tcontactmessage::BitBtn1Click);

    BitBtn2 = new QPushButton(UiIcons::exit(), QStringLiteral("Exit"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(304, 176, 161, 25);
    BitBtn2->setAutoDefault(false);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    RichEdit1 = new QPlainTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setReadOnly(true);
    RichEdit1->setFrameShape(QFrame::NoFrame);
    RichEdit1->setFocusPolicy(Qt::ClickFocus);  // not reached by Tab
    QPalette face = RichEdit1->palette();
    face.setColor(QPalette::Base, QApplication::palette().color(QPalette::Button));
    RichEdit1->setPalette(face);
    RichEdit1->setGeometry(16, 208, 449, 81);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(UiIcons::logo(QSize(258, 34)));
    Image1->setGeometry(7, 320, 258, 34);

    setTabOrder(Memo1, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, Edit1);
}

void Tcontactmessage::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Memo1->setFocus();
    // Only at showing: a message box closing over this window must not reload it.
    QTimer::singleShot(0, this, [this] {
        if (isVisible()) FormActivate();
    });
}

bool Tcontactmessage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edit1) {
        if (event->type() == QEvent::FocusIn) Edit1Enter();
        if (event->type() == QEvent::FocusOut) Edit1Exit();
    }
    return QDialog::eventFilter(watched, event);
}

void Tcontactmessage::FormActivate() {
    Memo1->clear();
    // A load still under way (the window was closed and shown again while it
    // waited) fills the text when it ends.
    if (loading_) return;
    loading_ = true;
    GeneralErrorBox::guard(this, [this] {
        std::optional<std::string> text = WindowWork::run(
            {BitBtn1},
            [&connectivity = connectivity_, &maker = maker_, url = maker_.settings().contactInfoUrl] {
                return connectivity.isInternetAvailable() ? std::optional(maker.getText(url)) : std::nullopt;
            });
        if (text) {
            RichEdit1->setPlainText(QString::fromStdString(*text));
        } else {
            RichEdit1->setPlainText(QStringLiteral("<Could not contact ") +
                                    QString::fromStdString(maker_.baseHostName()) + QStringLiteral(" site>"));
        }
    });
    loading_ = false;
}

void Tcontactmessage::Edit1Enter() {
    if (Edit1->text() == emailPlaceholder()) Edit1->clear();
}

void Tcontactmessage::Edit1Exit() {
    if (Edit1->text().isEmpty()) Edit1->setText(emailPlaceholder());
}

void Tcontactmessage::BitBtn1Click() {
    sending_ = true;
    GeneralErrorBox::guard(this, [this] {
        if (Memo1->toPlainText().isEmpty()) {
            MessageBoxes::plain(this, QStringLiteral("You should enter a message to send"));
            return;
        }
        // The maker's side expects a line break as CR LF.
        QString content = Memo1->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        std::optional<std::string> reply = WindowWork::run(
            {BitBtn1, BitBtn2}, [&connectivity = connectivity_, &maker = maker_,
                                 content = content.toStdString(), email = Edit1->text().toStdString()] {
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

void Tcontactmessage::reject() {
    // The request reads the web-service settings that closing would reassign.
    if (!sending_) QDialog::reject();
}

}  // namespace tharvel
