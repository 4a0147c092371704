#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <set>
#include <thread>

#include "WebTestSupport.h"
#include "support/TempDir.h"
#include "web/Updater.h"
#include "web/WebError.h"

using tharvel::MakerService;
using tharvel::Updater;
using tharvel::test::HttpTestServer;
using tharvel::test::readFile;
using tharvel::test::TempDir;
using tharvel::test::writeFile;

namespace {

const char* kUpdaterPath = "/downloads/tharvel/TharvelUpdate.exe";

std::set<std::string> filesIn(const std::filesystem::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.insert(entry.path().filename());
    return names;
}

struct UpdateFixture {
    HttpTestServer server{HttpTestServer::Scheme::Https};
    TempDir exeDir;
    MakerService maker;
    Updater updater{maker};
    bool quitAsked = false;
    std::vector<std::filesystem::path> started;

    UpdateFixture() {
        tharvel::test::aimAt(maker, server);
        updater.setExecutableDirectory(exeDir.path());
        updater.platform().requestQuit = [this] { quitAsked = true; };
        updater.platform().startDetached = [this](const std::filesystem::path& p) { started.push_back(p); };
        writeFile(exeDir / "TharvelUpdate.exe", "old updater");
        writeFile(exeDir / "TharvelUpdate.BAK", "older updater");
    }
};

}  // namespace

TEST(DownloadAndRun, ReplacesTheUpdaterStartsItAndAsksToEnd) {
    UpdateFixture f;
    // The download follows a redirect, as a mirror would send.
    f.server.respond(kUpdaterPath, 302, "", {{"Location", "/files/TharvelUpdate-1.2"}});
    f.server.respond("/files/TharvelUpdate-1.2", 200,
                     "#!/bin/sh\necho started > \"$(dirname \"$0\")/marker\"\n");
    f.updater.platform().startDetached = Updater(f.maker).platform().startDetached;

    f.updater.downloadAndRun(f.maker.settings().updaterUrl);

    EXPECT_TRUE(f.quitAsked);
    auto updater = f.exeDir / "TharvelUpdate.exe";
    EXPECT_EQ(readFile(updater).substr(0, 9), "#!/bin/sh");
    struct stat info {};
    ASSERT_EQ(stat(updater.c_str(), &info), 0);
    EXPECT_TRUE(info.st_mode & S_IXUSR);
    // The updater runs on its own; wait for its whole mark (the shell creates the
    // file before it writes the line).
    auto marker = f.exeDir / "marker";
    for (int i = 0; i < 3000 && !(std::filesystem::exists(marker) && readFile(marker) == "started\n"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(readFile(marker), "started\n");
    EXPECT_EQ(filesIn(f.exeDir.path()), (std::set<std::string>{"TharvelUpdate.exe", "marker"}));

    auto requests = f.server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].target, std::string(kUpdaterPath) + "?ts=31406400");
    EXPECT_EQ(requests[0].header("authorization"), "");
}

TEST(DownloadAndRun, ErrorStatusKeepsTheOldUpdaterAtTheBackupAndReports404Only) {
    struct Case {
        int status;
        bool notice;
    } cases[] = {{404, true}, {500, false}, {403, false}};
    for (const auto& c : cases) {
        UpdateFixture f;
        f.server.respond(kUpdaterPath, c.status, "error page");
        f.server.respond("/controlcenter/contact_quellan.php", 200, "noted");

        EXPECT_NO_THROW(f.updater.downloadAndRun(f.maker.settings().updaterUrl)) << c.status;

        EXPECT_FALSE(f.quitAsked);
        EXPECT_TRUE(f.started.empty());
        EXPECT_EQ(filesIn(f.exeDir.path()), std::set<std::string>{"TharvelUpdate.BAK"}) << c.status;
        EXPECT_EQ(readFile(f.exeDir / "TharvelUpdate.BAK"), "old updater");
        auto requests = f.server.requests();
        ASSERT_EQ(requests.size(), c.notice ? 2u : 1u) << c.status;
        if (c.notice) {
            std::string encodedUrl = MakerService::urlEncode(f.maker.settings().updaterUrl);
            EXPECT_NE(encodedUrl.find("%3Ctimestamp%3E"), std::string::npos);
            EXPECT_EQ(
                requests[1].query(),
                "application=Tharvel&version=1.1&type=UpdateError&content=" + encodedUrl +
                    "&email=Updater+missing&appcode=" + MakerService::urlEncode(f.maker.settings().appCode));
        }
    }
}

TEST(DownloadAndRun, RefusesAnUpdaterThatIsNotFetchedOverHttps) {
    HttpTestServer plain;
    plain.respond(kUpdaterPath, 200, "#!/bin/sh\n");
    UpdateFixture f;
    f.maker.setBaseAddress(plain.baseAddress());
    f.maker.assignSettings();

    EXPECT_THROW(f.updater.downloadAndRun(f.maker.settings().updaterUrl), tharvel::WebError);
    EXPECT_TRUE(plain.requests().empty());
    EXPECT_TRUE(f.started.empty());
    EXPECT_EQ(readFile(f.exeDir / "TharvelUpdate.exe"), "old updater");
}

TEST(DownloadAndRun, UntrustedCertificateOrRedirectToHttpFailsLoudly) {
    HttpTestServer plain;
    plain.respond(kUpdaterPath, 200, "#!/bin/sh\n");
    struct Case {
        bool trustServer;
        bool redirectToPlain;
    } cases[] = {{false, false}, {true, true}};
    for (const auto& c : cases) {
        UpdateFixture f;
        if (!c.trustServer) f.maker.setCaFile("");
        f.server.respond(kUpdaterPath, c.redirectToPlain ? 302 : 200, "#!/bin/sh\n",
                         {{"Location", plain.baseAddress() + kUpdaterPath}});

        EXPECT_THROW(f.updater.downloadAndRun(f.maker.settings().updaterUrl), tharvel::WebError);
        EXPECT_TRUE(f.started.empty());
        EXPECT_EQ(filesIn(f.exeDir.path()), std::set<std::string>{"TharvelUpdate.BAK"});
    }
    EXPECT_TRUE(plain.requests().empty());
}

TEST(RemoveStale, DeletesTheUpdaterNextToTheExecutableOnly) {
    TempDir exeDir, elsewhere;
    writeFile(exeDir / "TharvelUpdate.exe", "stale");
    writeFile(exeDir / "TharvelUpdate.BAK", "backup");
    writeFile(elsewhere / "TharvelUpdate.exe", "someone else's file");
    auto previous = std::filesystem::current_path();
    std::filesystem::current_path(elsewhere.path());
    MakerService maker;
    Updater updater(maker);
    updater.setExecutableDirectory(exeDir.path());
    updater.removeStale();
    updater.removeStale();  // nothing left to delete: no error
    std::filesystem::current_path(previous);
    EXPECT_EQ(filesIn(exeDir.path()), std::set<std::string>{"TharvelUpdate.BAK"});
    EXPECT_EQ(readFile(elsewhere / "TharvelUpdate.exe"), "someone else's file");
}
