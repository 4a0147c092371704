#include <gtest/gtest.h>

#include <optional>

#include "WebTestSupport.h"
#include "web/WebError.h"

using tharvel::MakerService;
using tharvel::WebError;
using tharvel::test::HttpTestServer;

namespace {

int statusOf(MakerService& maker, const std::string& url) {
    try {
        maker.getText(url);
    } catch (const WebError& error) {
        EXPECT_NE(std::string(error.what()), "");
        return error.httpStatus();
    }
    ADD_FAILURE() << "no error for " << url;
    return -1;
}

}  // namespace

TEST(GetText, FetchesTheThreeTextsWithEmptyBasicAuthAndTheirStamps) {
    HttpTestServer server;
    server.respond("/downloads/tharvel/tharvel.txt", 200, "Tharvel backs up.\r\nSecond line");
    server.respond("/downloads/tharvel/version.txt", 200, "1.2");
    server.respond("/downloads/tharvel/contactus.txt", 200, "Write to us");
    MakerService maker;
    tharvel::test::aimAt(maker, server, {0, 0, 0});

    EXPECT_EQ(maker.getText(maker.settings().productInfoUrl), "Tharvel backs up.\r\nSecond line");
    maker.platform().localTimeOfDay = [] { return MakerService::TimeOfDay{12, 0, 0}; };
    EXPECT_EQ(maker.getText(maker.settings().versionUrl), "1.2");
    EXPECT_EQ(maker.getText(maker.settings().contactInfoUrl), "Write to us");

    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].target, "/downloads/tharvel/tharvel.txt?ts=31363200");
    EXPECT_EQ(requests[1].target, "/downloads/tharvel/version.txt?ts=31406400");
    EXPECT_EQ(requests[2].target, "/downloads/tharvel/contactus.txt?ts=");
    for (const auto& request : requests) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.header("authorization"), "Basic Og==");  // ":" , the empty pair
    }
}

TEST(GetText, ReplyBytesBecomeUtf8Text) {
    HttpTestServer server;
    server.respond("/latin1", 200, "caf\xE9");
    server.respond("/utf8", 200, "caf\xC3\xA9 \xE2\x82\xAC");
    server.respond("/bom", 200,
                   "\xEF\xBB\xBF"
                   "1.1");
    MakerService maker;
    tharvel::test::aimAt(maker, server);
    EXPECT_EQ(maker.getText(server.baseAddress() + "/latin1"), "caf\xC3\xA9");
    EXPECT_EQ(maker.getText(server.baseAddress() + "/utf8"), "caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(maker.getText(server.baseAddress() + "/bom"), "1.1");
}

TEST(GetText, AnswerOutside2xxIsAnErrorWithItsStatusAndRedirectsAreNotFollowed) {
    HttpTestServer server;
    server.respond("/gone", 404, "no such file");
    server.respond("/broken", 500, "oops");
    server.respond("/moved", 302, "see there", {{"Location", "/there"}});
    server.respond("/there", 200, "followed");
    MakerService maker;
    tharvel::test::aimAt(maker, server);
    EXPECT_EQ(statusOf(maker, server.baseAddress() + "/gone"), 404);
    EXPECT_EQ(statusOf(maker, server.baseAddress() + "/broken"), 500);
    EXPECT_EQ(statusOf(maker, server.baseAddress() + "/moved"), 302);
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].path, "/moved");

    try {
        maker.getText(server.baseAddress() + "/gone");
        FAIL();
    } catch (const WebError& error) {
        EXPECT_EQ(std::string(error.what()), "HTTP error 404 Not Found");
    }
}

TEST(GetText, ConnectionFailureIsAnErrorWithoutStatus) {
    std::string base;
    {
        HttpTestServer server;
        base = server.baseAddress();
    }
    MakerService maker;
    EXPECT_EQ(statusOf(maker, base + "/downloads/tharvel/version.txt?ts=<timestamp>"), 0);
}

TEST(GetText, HttpsVerifiesTheServerCertificate) {
    HttpTestServer server(HttpTestServer::Scheme::Https);
    server.respond("/downloads/tharvel/version.txt", 200, "1.1");
    MakerService maker;
    maker.setBaseAddress(server.baseAddress());
    maker.assignSettings();

    // Not signed by anyone the system trusts: refused before any request is made.
    EXPECT_EQ(statusOf(maker, maker.settings().versionUrl), 0);
    EXPECT_TRUE(server.requests().empty());

    maker.setCaFile(HttpTestServer::caFile());
    EXPECT_EQ(maker.getText(maker.settings().versionUrl), "1.1");
    EXPECT_EQ(server.requests().size(), 1u);
}
