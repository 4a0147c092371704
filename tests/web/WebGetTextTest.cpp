#include <gtest/gtest.h>

#include <optional>

#include "WebTestUnit.h"
#include "web/WebError.h"

using tharvel::GeneralApplicationToolkitUnit;
using tharvel::WebError;
using tharvel::test::HttpTestServer;

namespace {

int statusOf(GeneralApplicationToolkitUnit& unit, const std::string& url) {
    try {
        unit.WebGetText(url, "", "");
    } catch (const WebError& error) {
        EXPECT_NE(std::string(error.what()), "");
        return error.httpStatus();
    }
    ADD_FAILURE() << "no error for " << url;
    return -1;
}

}  // namespace

TEST(WebGetText, FetchesTheThreeTextsWithEmptyBasicAuthAndTheirStamps) {
    HttpTestServer server;
    server.respond("/downloads/tharvel/tharvel.txt", 200, "Tharvel backs up.\r\nSecond line");
    server.respond("/downloads/tharvel/version.txt", 200, "1.2");
    server.respond("/downloads/tharvel/contactus.txt", 200, "Write to us");
    GeneralApplicationToolkitUnit unit;
    tharvel::test::aimAt(unit, server, {0, 0, 0});

    EXPECT_EQ(unit.WebGetText(unit.settings().ProductInfoURL, "", ""), "Tharvel backs up.\r\nSecond line");
    unit.platform().localTimeOfDay = [] { return GeneralApplicationToolkitUnit::TimeOfDay{12, 0, 0}; };
    EXPECT_EQ(unit.WebGetText(unit.settings().VersionURL, "", ""), "1.2");
    EXPECT_EQ(unit.WebGetText(unit.settings().ContactInfoURL, "", ""), "Write to us");

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

TEST(WebGetText, ReplyBytesBecomeUtf8Text) {
    HttpTestServer server;
    server.respond("/latin1", 200, "caf\xE9");
    server.respond("/utf8", 200, "caf\xC3\xA9 \xE2\x82\xAC");
    server.respond("/bom", 200,
                   "\xEF\xBB\xBF"
                   "1.1");
    GeneralApplicationToolkitUnit unit;
    tharvel::test::aimAt(unit, server);
    EXPECT_EQ(unit.WebGetText(server.baseAddress() + "/latin1", "", ""), "caf\xC3\xA9");
    EXPECT_EQ(unit.WebGetText(server.baseAddress() + "/utf8", "", ""), "caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(unit.WebGetText(server.baseAddress() + "/bom", "", ""), "1.1");
}

TEST(WebGetText, AnswerOutside2xxIsAnErrorWithItsStatusAndRedirectsAreNotFollowed) {
    HttpTestServer server;
    server.respond("/gone", 404, "no such file");
    server.respond("/broken", 500, "oops");
    server.respond("/moved", 302, "see there", {{"Location", "/there"}});
    server.respond("/there", 200, "followed");
    GeneralApplicationToolkitUnit unit;
    tharvel::test::aimAt(unit, server);
    EXPECT_EQ(statusOf(unit, server.baseAddress() + "/gone"), 404);
    EXPECT_EQ(statusOf(unit, server.baseAddress() + "/broken"), 500);
    EXPECT_EQ(statusOf(unit, server.baseAddress() + "/moved"), 302);
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].path, "/moved");

    try {
        unit.WebGetText(server.baseAddress() + "/gone", "", "");
        FAIL();
    } catch (const WebError& error) {
        EXPECT_EQ(std::string(error.what()), "HTTP error 404 Not Found");
    }
}

TEST(WebGetText, ConnectionFailureIsAnErrorWithoutStatus) {
    std::string base;
    {
        HttpTestServer server;
        base = server.baseAddress();
    }
    GeneralApplicationToolkitUnit unit;
    EXPECT_EQ(statusOf(unit, base + "/downloads/tharvel/version.txt?ts=<timestamp>"), 0);
}

TEST(WebGetText, HttpsVerifiesTheServerCertificate) {
    HttpTestServer server(HttpTestServer::Scheme::Https);
    server.respond("/downloads/tharvel/version.txt", 200, "1.1");
    GeneralApplicationToolkitUnit unit;
    unit.setBaseAddress(server.baseAddress());
    unit.AssignSettings();

    // Not signed by anyone the system trusts: refused before any request is made.
    EXPECT_EQ(statusOf(unit, unit.settings().VersionURL), 0);
    EXPECT_TRUE(server.requests().empty());

    unit.setCaFile(HttpTestServer::caFile());
    EXPECT_EQ(unit.WebGetText(unit.settings().VersionURL, "", ""), "1.1");
    EXPECT_EQ(server.requests().size(), 1u);
}
