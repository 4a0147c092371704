#include "ui/TAboutForm.h"

#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include "ui/GeneralErrorBox.h"
#include "ui/MessageBoxes.h"
#include "ui/UiIcons.h"
#include "ui/UiLook.h"
#include "ui/WindowWork.h"
#include "web/Connectivity.h"
#include "web/MakerService.h"
#include "web/Updater.h"

namespace tharvel {
namespace {

const char* kNoInternet = "Internet connection failed!\nPlease check your internet connection!";

}  // namespace

QString TAboutForm::makerSiteAddress() {
    return QString::fromLatin1(MakerService::kMakerSiteAddress);
}

TAboutForm::TAboutForm(Connectivity& connectivity, MakerService& maker, Updater& updater, QWidget* parent)
    : QDialog(parent), connectivity_(connectivity), maker_(maker), updater_(updater) {
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(588, 320);
    setFont(UiLook::baseFont());

    GroupBox7 = new QGroupBox(this);
    GroupBox7->setObjectName(QStringLiteral("GroupBox7"));
    GroupBox7->setGeometry(0, 0, 588, 320);

    RichEdit1 = new QPlainTextEdit(GroupBox7);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setReadOnly(true);
    QFont textFont = UiLook::baseFont();
    textFont.setPixelSize(13);
    RichEdit1->setFont(textFont);
    RichEdit1->setGeometry(24, 32, 545, 201);

    BitBtn38 = new QPushButton(QStringLiteral("Update to new Version"), GroupBox7);
    BitBtn38->setObjectName(QStringLiteral("BitBtn38"));
    BitBtn38->setGeometry(216, 248, 329, 41);
    BitBtn38->setAutoDefault(false);
    BitBtn38->hide();
    connect(BitBtn38, &QPushButton::clicked, this, &TAboutForm::BitBtn38Click);

    Label35 = new QLabel(makerSiteAddress(), GroupBox7);
    Label35->setObjectName(QStringLiteral("Label35"));
    QFont linkFont = UiLook::baseFont();
    linkFont.setUnderline(true);
    Label35->setFont(linkFont);
    UiLook::setTextColour(Label35, QColor(0, 0, 255));
    Label35->setCursor(Qt::PointingHandCursor);
    Label35->setToolTip(QStringLiteral("Click here to see the site of Quellan"));
    Label35->move(24, 272);
    Label35->adjustSize();
    Label35->installEventFilter(this);

    BitBtn2 = new QPushButton(UiIcons::exit(), QStringLiteral("Exit"), GroupBox7);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(384, 291, 161, 25);
    BitBtn2->setAutoDefault(false);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

void TAboutForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Once the window is on screen, so that "Retrieving Info" shows while the
    // requests block. Only at showing: a message box closing over this window
    // must not start the check again.
    QTimer::singleShot(0, this, [this] {
        if (isVisible()) FormActivate();
    });
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label35 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Label35Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutForm::FormActivate() {
    // A check still under way (the window was closed and shown again while it
    // waited) carries on and fills the window when it ends.
    if (checking_) return;
    RichEdit1->setPlainText(QStringLiteral("Retrieving Info ........."));
    BitBtn38->hide();
    repaint();
    checking_ = true;
    GeneralErrorBox::guard(this, [this] {
        struct Info {
            bool online = false;
            std::string product, version;
        };
        auto& settings = maker_.settings();
        Info info = WindowWork::run(
            {BitBtn38}, [&connectivity = connectivity_, &maker = maker_, productUrl = settings.productInfoUrl,
                         versionUrl = settings.versionUrl] {
                Info got;
                got.online = connectivity.isInternetAvailable();
                if (got.online) {
                    got.product = maker.getText(productUrl);
                    got.version = maker.getText(versionUrl);
                }
                return got;
            });
        if (!info.online) {
            MessageBoxes::error(this, QString::fromLatin1(kNoInternet));
            return;
        }
        settings.latestVersion = info.version;
        RichEdit1->setPlainText(QString::fromStdString(info.product));
        // Compared as texts: any difference, an older version too, offers the update.
        if (settings.appVersion != settings.latestVersion) {
            BitBtn38->setText(QStringLiteral("Update to version ") +
                              QString::fromStdString(settings.latestVersion));
            BitBtn38->show();
        }
    });
    checking_ = false;
}

void TAboutForm::BitBtn38Click() {
    updating_ = true;
    GeneralErrorBox::guard(this, [this] {
        const bool online =
            WindowWork::run({BitBtn38}, [&connectivity = connectivity_, &maker = maker_, &updater = updater_,
                                         url = maker_.settings().updaterUrl] {
                if (!connectivity.isInternetAvailable()) return false;
                maker.sendToMaker("Update", "Auto Update", "just updating to new version");
                updater.downloadAndRun(url);
                return true;
            });
        if (!online) MessageBoxes::error(this, QString::fromLatin1(kNoInternet));
    });
    updating_ = false;
}

void TAboutForm::reject() {
    // The update reads the web-service settings that closing would reassign.
    if (!updating_) QDialog::reject();
}

void TAboutForm::Label35Click() {
    QDesktopServices::openUrl(QUrl(makerSiteAddress()));
}

}  // namespace tharvel
