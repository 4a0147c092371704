#include "ui/AboutWindow.h"

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

QString AboutWindow::makerSiteAddress() {
    return QString::fromLatin1(MakerService::kMakerSiteAddress);
}

AboutWindow::AboutWindow(Connectivity& connectivity, MakerService& maker, Updater& updater, QWidget* parent)
    : QDialog(parent), connectivity_(connectivity), maker_(maker), updater_(updater) {
    setObjectName(QStringLiteral("AboutWindow"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(588, 320);
    setFont(UiLook::baseFont());

    frame = new QGroupBox(this);
    frame->setObjectName(QStringLiteral("frame"));
    frame->setGeometry(0, 0, 588, 320);

    productText = new QPlainTextEdit(frame);
    productText->setObjectName(QStringLiteral("productText"));
    productText->setReadOnly(true);
    QFont textFont = UiLook::baseFont();
    textFont.setPixelSize(13);
    productText->setFont(textFont);
    productText->setGeometry(24, 32, 545, 201);

    updateButton = new QPushButton(QStringLiteral("Update to new Version"), frame);
    updateButton->setObjectName(QStringLiteral("updateButton"));
    updateButton->setGeometry(216, 248, 329, 41);
    updateButton->setAutoDefault(false);
    updateButton->hide();
    connect(updateButton, &QPushButton::clicked, this, &AboutWindow::updateToLatest);

    siteLink = new QLabel(makerSiteAddress(), frame);
    siteLink->setObjectName(QStringLiteral("siteLink"));
    QFont linkFont = UiLook::baseFont();
    linkFont.setUnderline(true);
    siteLink->setFont(linkFont);
    UiLook::setTextColour(siteLink, QColor(0, 0, 255));
    siteLink->setCursor(Qt::PointingHandCursor);
    siteLink->setToolTip(QStringLiteral("Click here to see the site of Quellan"));
    siteLink->move(24, 272);
    siteLink->adjustSize();
    siteLink->installEventFilter(this);

    exitButton = new QPushButton(UiIcons::exit(), QStringLiteral("Exit"), frame);
    exitButton->setObjectName(QStringLiteral("exitButton"));
    exitButton->setGeometry(384, 291, 161, 25);
    exitButton->setAutoDefault(false);
    connect(exitButton, &QPushButton::clicked, this, &QDialog::reject);
}

void AboutWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Once the window is on screen, so that "Retrieving Info" shows while the
    // requests block. Only at showing: a message box closing over this window
    // must not start the check again.
    QTimer::singleShot(0, this, [this] {
        if (isVisible()) loadProductInfo();
    });
}

bool AboutWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == siteLink && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        openMakerSite();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void AboutWindow::loadProductInfo() {
    // A check still under way (the window was closed and shown again while it
    // waited) carries on and fills the window when it ends.
    if (checking_) return;
    productText->setPlainText(QStringLiteral("Retrieving Info ........."));
    updateButton->hide();
    repaint();
    checking_ = true;
    GeneralErrorBox::guard(this, [this] {
        struct Info {
            bool online = false;
            std::string product, version;
        };
        auto& settings = maker_.settings();
        Info info = WindowWork::run({updateButton},
                                    [&connectivity = connectivity_, &maker = maker_,
                                     productUrl = settings.productInfoUrl, versionUrl = settings.versionUrl] {
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
        productText->setPlainText(QString::fromStdString(info.product));
        // Compared as texts: any difference, an older version too, offers the update.
        if (settings.appVersion != settings.latestVersion) {
            updateButton->setText(QStringLiteral("Update to version ") +
                                  QString::fromStdString(settings.latestVersion));
            updateButton->show();
        }
    });
    checking_ = false;
}

void AboutWindow::updateToLatest() {
    updating_ = true;
    GeneralErrorBox::guard(this, [this] {
        const bool online =
            WindowWork::run({updateButton}, [&connectivity = connectivity_, &maker = maker_,
                                             &updater = updater_, url = maker_.settings().updaterUrl] {
                if (!connectivity.isInternetAvailable()) return false;
                maker.sendToMaker("Update", "Auto Update", "just updating to new version");
                updater.downloadAndRun(url);
                return true;
            });
        if (!online) MessageBoxes::error(this, QString::fromLatin1(kNoInternet));
    });
    updating_ = false;
}

void AboutWindow::reject() {
    // The update reads the web-service settings that closing would reassign.
    if (!updating_) QDialog::reject();
}

void AboutWindow::openMakerSite() {
    QDesktopServices::openUrl(QUrl(makerSiteAddress()));
}

}  // namespace tharvel
