#include <gtest/gtest.h>
#include <stdlib.h>

#include "web/Connectivity.h"
#include "web/MakerService.h"

using tharvel::Connectivity;
using tharvel::MakerService;

TEST(UrlEncode, KeepsTheUnreservedMarksAndEncodesTheRest) {
    struct Case {
        std::string text, encoded;
    } cases[] = {
        {"a b&c", "a+b%26c"},
        {"line\r\nbreak", "line%0D%0Abreak"},
        {"Auto Update", "Auto+Update"},
        {"just updating to new version", "just+updating+to+new+version"},
        {"1.1", "1.1"},
        {"AZaz09*@._-$!'()", "AZaz09*@._-$!'()"},
        {"+/?=%#~\"<>:,;", "%2B%2F%3F%3D%25%23%7E%22%3C%3E%3A%2C%3B"},
        {"\xC3\xA9\xE2\x82\xAC", "%C3%A9%E2%82%AC"},  // é and € as their UTF-8 bytes
        {std::string("\0\t\x7F", 3), "%00%09%7F"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(MakerService::urlEncode(c.text), c.encoded) << c.text;
}

TEST(InsertTimestamp, ReplacesTheFirstPlaceholderWithTheSecondOfDayZero) {
    struct Case {
        MakerService::TimeOfDay now;
        std::string url, expected;
    } cases[] = {
        {{0, 0, 0}, "http://h/v.txt?ts=<timestamp>", "http://h/v.txt?ts=31363200"},
        {{12, 0, 0}, "http://h/v.txt?ts=<timestamp>", "http://h/v.txt?ts=31406400"},
        {{23, 59, 59}, "http://h/v.txt?ts=<timestamp>", "http://h/v.txt?ts=31449599"},
        {{1, 2, 3}, "<timestamp>&b=<timestamp>", "31366923&b=<timestamp>"},
        {{12, 0, 0}, "http://h/contactus.txt?ts=", "http://h/contactus.txt?ts="},
        {{12, 0, 0}, "http://h/?ts=<timestamp", "http://h/?ts=<timestamp"},
    };
    MakerService maker;
    for (const auto& c : cases) {
        maker.platform().localTimeOfDay = [&c] { return c.now; };
        EXPECT_EQ(maker.insertTimestamp(c.url), c.expected) << c.url;
    }
}

TEST(WebServiceSettings, AssignedFromTheBaseAddressKeepingTheLatestVersion) {
    unsetenv("THARVEL_WEB_BASE");
    MakerService maker;
    EXPECT_EQ(maker.baseAddress().rfind("https://", 0), 0u) << maker.baseAddress();

    maker.setBaseAddress("http://127.0.0.1:8080/");
    maker.settings().latestVersion = "1.2";
    maker.assignSettings();
    const auto& s = maker.settings();
    EXPECT_EQ(s.appName, "Tharvel");
    EXPECT_EQ(s.appVersion, "1.1");
    EXPECT_FALSE(s.appCode.empty());
    EXPECT_EQ(s.updaterUrl, "http://127.0.0.1:8080/downloads/tharvel/TharvelUpdate.exe?ts=<timestamp>");
    EXPECT_EQ(s.productInfoUrl, "http://127.0.0.1:8080/downloads/tharvel/tharvel.txt?ts=<timestamp>");
    EXPECT_EQ(s.versionUrl, "http://127.0.0.1:8080/downloads/tharvel/version.txt?ts=<timestamp>");
    EXPECT_EQ(s.contactInfoUrl, "http://127.0.0.1:8080/downloads/tharvel/contactus.txt?ts=");
    EXPECT_EQ(s.latestVersion, "1.2");
}

TEST(WebServiceSettings, EnvironmentOverridesBaseAndTestHosts) {
    setenv("THARVEL_WEB_BASE", "https://[::1]:8443", 1);
    setenv("THARVEL_TEST_HOSTS", " 127.0.0.1 ,,host.invalid,localhost", 1);
    MakerService maker;
    Connectivity connectivity;
    unsetenv("THARVEL_WEB_BASE");
    unsetenv("THARVEL_TEST_HOSTS");
    EXPECT_EQ(maker.baseAddress(), "https://[::1]:8443");
    EXPECT_EQ(maker.baseHostName(), "::1");
    EXPECT_EQ(connectivity.testHosts(), (std::vector<std::string>{"127.0.0.1", "host.invalid", "localhost"}));

    MakerService fixed;
    EXPECT_EQ(Connectivity().testHosts().size(), 3u);
    EXPECT_EQ(fixed.baseHostName(), "www.quellan.com");
}
