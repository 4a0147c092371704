#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>

#include "UiTestSupport.h"
#include "support/HttpTestServer.h"
#include "support/TempDir.h"
#include "ui/AboutWindow.h"
#include "ui/ContactWindow.h"
#include "ui/MainWindow.h"
#include "ui/WebServicesWiring.h"
#include "web/Connectivity.h"
#include "web/MakerService.h"
#include "web/Updater.h"

using namespace tharvel;
using tharvel::test::HttpTestServer;
using tharvel::test::MessageBoxAnswerer;
using tharvel::test::TempDir;

namespace {

const QString kNoInternet =
    QStringLiteral("Internet connection failed!\nPlease check your internet connection!");
const char* kContactPath = "/controlcenter/contact_quellan.php";

bool icmpAllowedHere() {
    auto [fd, raw] = Connectivity().platform().openIcmpSocket();
    (void)raw;
    if (fd < 0) return false;
    close(fd);
    return true;
}

// The web services aimed at a loopback HTTPS server; online means the connectivity check
// pings 127.0.0.1, offline that ICMP is not allowed.
struct Web {
    HttpTestServer server{HttpTestServer::Scheme::Https};
    TempDir exeDir;
    Connectivity connectivity;
    MakerService maker;
    Updater updater{maker};
    std::vector<std::filesystem::path> started;
    bool quitAsked = false;

    explicit Web(bool online = true) {
        maker.setBaseAddress(server.baseAddress());
        maker.setCaFile(HttpTestServer::caFile());
        updater.setExecutableDirectory(exeDir.path());
        connectivity.setTestHosts({"127.0.0.1"});
        connectivity.platform().systemOffline = [] { return false; };
        if (!online) connectivity.platform().openIcmpSocket = [] { return std::pair{-1, false}; };
        maker.platform().localTimeOfDay = [] { return MakerService::TimeOfDay{12, 0, 0}; };
        updater.platform().startDetached = [this](const std::filesystem::path& p) { started.push_back(p); };
        updater.platform().requestQuit = [this] { quitAsked = true; };
        maker.assignSettings();
        server.respond("/downloads/tharvel/tharvel.txt", 200, "Tharvel backs up databases and files.");
        server.respond("/downloads/tharvel/contactus.txt", 200, "Write to us");
        server.respond(kContactPath, 200, "Thank you!");
    }

    std::vector<std::string> targets() const {
        std::vector<std::string> result;
        for (const auto& request : server.requests()) result.push_back(request.target);
        return result;
    }
};

#define REQUIRE_ICMP()                                                 \
    do {                                                               \
        if (!icmpAllowedHere()) GTEST_SKIP() << "no ICMP socket here"; \
    } while (false)

// Closes a modal dialog once the condition holds.
void closeWhen(QDialog* dialog, std::function<bool()> condition) {
    auto* timer = new QTimer(dialog);
    QObject::connect(timer, &QTimer::timeout, dialog, [=] {
        if (dialog->isVisible() && QApplication::activeModalWidget() == dialog && condition()) {
            timer->stop();
            timer->deleteLater();
            dialog->reject();
        }
    });
    timer->start(5);
}

}  // namespace

TEST(AboutWindow, OffersTheUpdateOnlyWhenTheVersionTextDiffers) {
    REQUIRE_ICMP();
    Web web;
    AboutWindow form(web.connectivity, web.maker, web.updater);
    struct Case {
        std::string version;
        bool offered;
    } cases[] = {{"1.1", false}, {"1.2", true}, {"1.0", true}, {"1.1\r\n", true}};
    for (const auto& c : cases) {
        web.server.respond("/downloads/tharvel/version.txt", 200, c.version);
        form.loadProductInfo();
        EXPECT_EQ(form.productText->toPlainText(), QStringLiteral("Tharvel backs up databases and files."));
        EXPECT_EQ(web.maker.settings().latestVersion, c.version);
        EXPECT_EQ(form.updateButton->isVisibleTo(&form), c.offered) << c.version;
        if (c.offered) {
            EXPECT_EQ(form.updateButton->text().toStdString(), "Update to version " + c.version);
        }
    }
    // Both texts again at every activation, each with its stamp.
    auto targets = web.targets();
    ASSERT_EQ(targets.size(), 2 * std::size(cases));
    EXPECT_EQ(targets[6], "/downloads/tharvel/tharvel.txt?ts=31406400");
    EXPECT_EQ(targets[7], "/downloads/tharvel/version.txt?ts=31406400");
}

// The requests wait off the window's thread: while the server holds its answer the
// window paints and handles events, shows the busy cursor, and the update button
// is off; the texts arrive when the server answers, in the usual order.
TEST(AboutWindow, PaintsWhileItsRequestsWaitOnTheServer) {
    REQUIRE_ICMP();
    Web web;
    web.server.respond("/downloads/tharvel/version.txt", 200, "1.2");
    web.server.holdReplies(true);
    AboutWindow form(web.connectivity, web.maker, web.updater);
    MessageBoxAnswerer boxes;  // a blocked window would meet the client's time-out box
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) ++paints;
            return false;
        }
    } counter;
    form.productText->viewport()->installEventFilter(&counter);
    int ticksWhileHeld = 0, paintsWhileHeld = -1;
    bool buttonOffWhileHeld = false, busyCursorWhileHeld = false;
    QString textWhileHeld;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (web.server.requests().empty()) return;  // not yet waiting
        if (ticksWhileHeld == 0) paintsWhileHeld = counter.paints;
        form.productText->viewport()->update();
        if (++ticksWhileHeld < 10) return;
        paintsWhileHeld = counter.paints - paintsWhileHeld;
        buttonOffWhileHeld = !form.updateButton->isEnabled();
        busyCursorWhileHeld =
            QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::BusyCursor;
        textWhileHeld = form.productText->toPlainText();
        ticker.stop();
        web.server.holdReplies(false);
    });
    ticker.start(5);
    form.show();
    EXPECT_TRUE(
        tharvel::test::processEventsUntil([&] { return form.updateButton->isVisibleTo(&form); }, 30000));
    EXPECT_EQ(ticksWhileHeld, 10);
    EXPECT_GT(paintsWhileHeld, 0);
    EXPECT_TRUE(buttonOffWhileHeld);
    EXPECT_TRUE(busyCursorWhileHeld);
    EXPECT_EQ(textWhileHeld, QStringLiteral("Retrieving Info ........."));
    EXPECT_TRUE(boxes.seen().empty());
    EXPECT_EQ(form.productText->toPlainText(), QStringLiteral("Tharvel backs up databases and files."));
    EXPECT_EQ(form.updateButton->text(), QStringLiteral("Update to version 1.2"));
    EXPECT_TRUE(form.updateButton->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    auto targets = web.targets();
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[0].rfind("/downloads/tharvel/tharvel.txt?ts=", 0), 0u);
    EXPECT_EQ(targets[1].rfind("/downloads/tharvel/version.txt?ts=", 0), 0u);
    form.hide();
}

TEST(AboutWindow, OfflineShowsTheConnectionErrorAndRequestsNothing) {
    Web web(false);
    AboutWindow form(web.connectivity, web.maker, web.updater);
    MessageBoxAnswerer answerer;
    form.loadProductInfo();
    form.updateToLatest();
    ASSERT_EQ(answerer.seen().size(), 2u);
    for (const auto& box : answerer.seen()) {
        EXPECT_EQ(box.title, QStringLiteral("Error"));
        EXPECT_EQ(box.text, kNoInternet);
    }
    EXPECT_EQ(form.productText->toPlainText(), QStringLiteral("Retrieving Info ........."));
    EXPECT_FALSE(form.updateButton->isVisibleTo(&form));
    EXPECT_TRUE(web.server.requests().empty());
    EXPECT_TRUE(web.started.empty());
}

TEST(AboutWindow, FailedVersionRequestReachesTheErrorBoxAndKeepsTheLastVersion) {
    REQUIRE_ICMP();
    Web web;
    web.server.respond("/downloads/tharvel/version.txt", 500, "down");
    web.maker.settings().latestVersion = "1.2";
    AboutWindow form(web.connectivity, web.maker, web.updater);
    MessageBoxAnswerer answerer;
    form.loadProductInfo();
    ASSERT_EQ(answerer.seen().size(), 1u);
    EXPECT_EQ(answerer.seen()[0].title, QStringLiteral("test_ui"));
    EXPECT_EQ(answerer.seen()[0].text, QStringLiteral("HTTP error 500 Internal Server Error."));
    EXPECT_EQ(form.productText->toPlainText(), QStringLiteral("Retrieving Info ........."));
    EXPECT_FALSE(form.updateButton->isVisibleTo(&form));
    EXPECT_EQ(web.maker.settings().latestVersion, "1.2");
}

TEST(AboutWindow, UpdateButtonTellsTheMakerThenStartsTheNewUpdater) {
    REQUIRE_ICMP();
    Web web;
    web.server.respond("/downloads/tharvel/version.txt", 200, "1.2");
    web.server.respond("/downloads/tharvel/TharvelUpdate.exe", 200, "#!/bin/sh\n");
    tharvel::test::writeFile(web.exeDir / "TharvelUpdate.exe", "old");
    AboutWindow form(web.connectivity, web.maker, web.updater);
    form.loadProductInfo();
    ASSERT_TRUE(form.updateButton->isVisibleTo(&form));
    form.updateButton->click();

    auto requests = web.server.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[2].path, kContactPath);
    EXPECT_NE(
        requests[2].query().find("&type=Update&content=Auto+Update&email=just+updating+to+new+version&"),
        std::string::npos)
        << requests[2].query();
    EXPECT_EQ(requests[3].target, "/downloads/tharvel/TharvelUpdate.exe?ts=31406400");
    EXPECT_EQ(web.started, std::vector<std::filesystem::path>{web.exeDir / "TharvelUpdate.exe"});
    EXPECT_EQ(tharvel::test::readFile(web.exeDir / "TharvelUpdate.exe"), "#!/bin/sh\n");
    EXPECT_TRUE(web.quitAsked);
}

TEST(AboutWindow, LayoutAndTheLinkToTheMakersSite) {
    Web web(false);
    AboutWindow form(web.connectivity, web.maker, web.updater);
    EXPECT_EQ(form.size(), QSize(588, 320));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(form.frame->geometry(), QRect(0, 0, 588, 320));
    EXPECT_EQ(form.productText->geometry(), QRect(24, 32, 545, 201));
    EXPECT_TRUE(form.productText->isReadOnly());
    EXPECT_EQ(form.updateButton->geometry(), QRect(216, 248, 329, 41));
    EXPECT_EQ(form.exitButton->text(), QStringLiteral("Exit"));
    EXPECT_TRUE(form.siteLink->font().underline());
    EXPECT_EQ(form.siteLink->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(form.siteLink->toolTip(), QStringLiteral("Click here to see the site of Quellan"));

    QTextBrowser opened;  // stands in for the desktop's browser
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &opened, "setSource");
    QTest::mouseClick(form.siteLink, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    EXPECT_EQ(opened.source(), QUrl(form.siteLink->text()));
    EXPECT_TRUE(form.siteLink->text().startsWith(QStringLiteral("https://")));
}

TEST(ContactWindow, ActivationEmptiesTheMessageAndLoadsTheMakersText) {
    REQUIRE_ICMP();
    Web web;
    ContactWindow form(web.connectivity, web.maker);
    form.messageEdit->setPlainText(QStringLiteral("left from last time"));
    form.loadContactInfo();
    EXPECT_TRUE(form.messageEdit->toPlainText().isEmpty());
    EXPECT_EQ(form.contactInfoText->toPlainText(), QStringLiteral("Write to us"));
    auto requests = web.server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/downloads/tharvel/contactus.txt?ts=");
    EXPECT_EQ(requests[0].header("authorization"), "Basic Og==");

    // A failing contact text keeps what the window showed.
    web.server.respond("/downloads/tharvel/contactus.txt", 404, "gone");
    MessageBoxAnswerer answerer;
    form.loadContactInfo();
    ASSERT_EQ(answerer.seen().size(), 1u);
    EXPECT_EQ(answerer.seen()[0].text, QStringLiteral("HTTP error 404 Not Found."));
    EXPECT_EQ(form.contactInfoText->toPlainText(), QStringLiteral("Write to us"));
}

TEST(ContactWindow, OfflineNamesTheServiceHostAndRequestsNothing) {
    Web web(false);
    ContactWindow form(web.connectivity, web.maker);
    form.loadContactInfo();
    EXPECT_EQ(form.contactInfoText->toPlainText(), QStringLiteral("<Could not contact 127.0.0.1 site>"));
    EXPECT_TRUE(web.server.requests().empty());
}

TEST(ContactWindow, EmailPlaceholderGoesOnFocusAndComesBackWhenLeftEmpty) {
    Web web(false);
    ContactWindow form(web.connectivity, web.maker);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_EQ(form.emailEdit->text(), QStringLiteral("Put your email here"));
    form.emailEdit->setFocus();
    EXPECT_EQ(form.emailEdit->text(), QString());
    form.messageEdit->setFocus();
    EXPECT_EQ(form.emailEdit->text(), QStringLiteral("Put your email here"));
    form.emailEdit->setFocus();
    QTest::keyClicks(form.emailEdit, QStringLiteral("me@example.org"));
    form.messageEdit->setFocus();
    form.emailEdit->setFocus();
    EXPECT_EQ(form.emailEdit->text(), QStringLiteral("me@example.org"));
    form.reject();
}

TEST(ContactWindow, SendShowsTheOutcomeAndClosesTheWindowInEveryCase) {
    struct Case {
        const char* what;
        bool online;
        int contactStatus;
        QString message;
        QString boxTitle, boxText;
        std::string query;  // empty: no contact request
    } cases[] = {
        {"empty message", true, 200, "", "test_ui", "You should enter a message to send", ""},
        {"sent", true, 200, "Hello,\nsave & restore", "test_ui", "Thank you!",
         "application=Tharvel&version=1.1&type=Comment&content=Hello%2C%0D%0Asave+%26+restore"
         "&email=Put+your+email+here&appcode="},
        {"offline", false, 200, "hi", "Error", kNoInternet, ""},
        {"request fails", true, 500, "hi", "test_ui", "HTTP error 500 Internal Server Error.",
         "application=Tharvel&version=1.1&type=Comment&content=hi&email=Put+your+email+here&appcode="},
    };
    for (const auto& c : cases) {
        if (c.online && !icmpAllowedHere()) continue;
        Web web(c.online);
        web.server.respond(kContactPath, c.contactStatus, "Thank you!");
        ContactWindow form(web.connectivity, web.maker);
        form.show();
        QCoreApplication::processEvents();  // the activation that showing starts
        form.messageEdit->setPlainText(c.message);
        MessageBoxAnswerer answerer;
        form.sendButton->click();

        ASSERT_EQ(answerer.seen().size(), 1u) << c.what;
        EXPECT_EQ(answerer.seen()[0].title, c.boxTitle) << c.what;
        EXPECT_EQ(answerer.seen()[0].text, c.boxText) << c.what;
        EXPECT_FALSE(form.isVisible()) << c.what;
        EXPECT_EQ(form.result(), QDialog::Accepted) << c.what;
        auto requests = web.server.requests();
        std::vector<std::string> queries;
        for (const auto& r : requests)
            if (r.path == kContactPath) queries.push_back(r.query());
        if (c.query.empty()) {
            EXPECT_TRUE(queries.empty()) << c.what;
        } else {
            ASSERT_EQ(queries.size(), 1u) << c.what;
            EXPECT_EQ(queries[0], c.query + MakerService::urlEncode(web.maker.settings().appCode)) << c.what;
            EXPECT_EQ(requests.back().header("authorization"), "Basic cGVsb3I6NTA3Mzgx");
        }
    }
}

TEST(ContactWindow, Layout) {
    Web web(false);
    ContactWindow form(web.connectivity, web.maker);
    EXPECT_EQ(form.size(), QSize(505, 354));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Contact Quellan"));
    EXPECT_EQ(form.emailEdit->geometry(), QRect(56, 5, 201, 21));
    EXPECT_EQ(form.messageEdit->geometry(), QRect(16, 56, 449, 113));
    EXPECT_EQ(form.sendButton->geometry(), QRect(16, 176, 273, 25));
    EXPECT_TRUE(form.sendButton->isDefault());
    EXPECT_EQ(form.exitButton->geometry(), QRect(304, 176, 161, 25));
    EXPECT_EQ(form.contactInfoText->geometry(), QRect(16, 208, 449, 81));
    EXPECT_TRUE(form.contactInfoText->isReadOnly());
    EXPECT_FALSE(form.contactInfoText->focusPolicy() & Qt::TabFocus);
    EXPECT_EQ(form.logo->geometry(), QRect(7, 320, 258, 34));
    for (QLabel* l : {form.emailCaption, form.messageCaption, form.emailHint})
        EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->width());
    EXPECT_EQ(form.emailHint->geometry().topLeft(), QPoint(272, 8));
}

TEST(WebServicesWiring, MainWindowActivationAndItsAboutAndContactButtons) {
    REQUIRE_ICMP();
    Web web;
    web.server.respond("/downloads/tharvel/version.txt", 200, "1.1");
    web.maker.settings() = {};
    tharvel::test::writeFile(web.exeDir / "TharvelUpdate.exe", "stale updater");
    MainWindow mainWindow;
    AboutWindow about(web.connectivity, web.maker, web.updater, &mainWindow);
    ContactWindow contact(web.connectivity, web.maker, &mainWindow);
    mainWindow.setAboutWindow(&about);
    mainWindow.setContactWindow(&contact);
    WebServicesWiring::attach(mainWindow, web.maker, web.updater);
    web.updater.platform().requestQuit = [] {};

    mainWindow.show();
    EXPECT_FALSE(std::filesystem::exists(web.exeDir / "TharvelUpdate.exe"));
    EXPECT_EQ(web.maker.settings().versionUrl,
              web.server.baseAddress() + "/downloads/tharvel/version.txt?ts=<timestamp>");
    EXPECT_EQ(mainWindow.makerSiteAddress(), AboutWindow::makerSiteAddress());

    // Each button shows its window modally, and showing it runs its activation.
    closeWhen(&about, [&] { return web.server.requests().size() == 2; });
    mainWindow.aboutButton->click();
    EXPECT_EQ(about.productText->toPlainText(), QStringLiteral("Tharvel backs up databases and files."));
    closeWhen(&contact, [&] { return web.server.requests().size() == 3; });
    mainWindow.contactButton->click();
    EXPECT_EQ(contact.contactInfoText->toPlainText(), QStringLiteral("Write to us"));
    EXPECT_EQ(web.targets().back(), "/downloads/tharvel/contactus.txt?ts=");
}
