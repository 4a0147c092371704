#include <gtest/gtest.h>

#include "WebTestSupport.h"
#include "web/WebError.h"

using tharvel::MakerService;
using tharvel::test::HttpTestServer;

namespace {
const char* kContactPath = "/controlcenter/contact_quellan.php";
}

TEST(SendToMaker, SendsTheSixKeysInOrderEncodedWithTheContactLogin) {
    HttpTestServer server;
    server.respond(kContactPath, 200, "Thank you!");
    MakerService maker;
    tharvel::test::aimAt(maker, server);
    const auto& s = maker.settings();
    std::string appcode = MakerService::urlEncode(s.appCode);
    std::string port = server.baseAddress().substr(server.baseAddress().rfind(':') + 1);

    struct Case {
        std::string type, content, email, query;
    } cases[] = {
        {"Comment", "Hello,\r\nsave & restore", "Put your email here",
         "application=Tharvel&version=1.1&type=Comment&content=Hello%2C%0D%0Asave+%26+restore"
         "&email=Put+your+email+here&appcode=" +
             appcode},
        {"Update", "Auto Update", "just updating to new version",
         "application=Tharvel&version=1.1&type=Update&content=Auto+Update"
         "&email=just+updating+to+new+version&appcode=" +
             appcode},
        {"UpdateError", s.updaterUrl, "Updater missing",
         "application=Tharvel&version=1.1&type=UpdateError&content=http%3A%2F%2F127.0.0.1%3A" + port +
             "%2Fdownloads%2Ftharvel%2FTharvelUpdate.exe%3Fts%3D%3Ctimestamp%3E"
             "&email=Updater+missing&appcode=" +
             appcode},
    };
    for (const auto& c : cases) EXPECT_EQ(maker.sendToMaker(c.type, c.content, c.email), "Thank you!");

    auto requests = server.requests();
    ASSERT_EQ(requests.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(requests[i].path, kContactPath);
        EXPECT_EQ(requests[i].query(), cases[i].query);
        EXPECT_EQ(requests[i].header("authorization"), "Basic cGVsb3I6NTA3Mzgx");  // pelor:507381
    }
}

TEST(SendToMaker, FailedRequestRaises) {
    HttpTestServer server;
    server.respond(kContactPath, 500, "down");
    MakerService maker;
    tharvel::test::aimAt(maker, server);
    EXPECT_THROW(maker.sendToMaker("Comment", "hi", "a@b.c"), tharvel::WebError);
}
