#include <gtest/gtest.h>
#include <stdlib.h>

#include "web/GeneralApplicationToolkitUnit.h"

using tharvel::GeneralApplicationToolkitUnit;

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
    for (const auto& c : cases)
        EXPECT_EQ(GeneralApplicationToolkitUnit::UrlEncode(c.text), c.encoded) << c.text;
}

TEST(InsertTimestamp, ReplacesTheFirstPlaceholderWithTheSecondOfDayZero) {
    struct Case {
        GeneralApplicationToolkitUnit::TimeOfDay now;
        std::string url, expected;
    } cases[] = {
        {{0, 0, 0}, "http://h/v.txt?ts=<timestamp>", "http://h/v.txt?ts=31363200"},
        {{12, 0, 0}, "http://h/v.txt?ts=<timestamp>", "http://h/v.txt?ts=31406400"},
        {{23, 59, 59}, "http://h/v.txt?ts=<timestamp>", "http://h/v.txt?ts=31449599"},
        {{1, 2, 3}, "<timestamp>&b=<timestamp>", "31366923&b=<timestamp>"},
        {{12, 0, 0}, "http://h/contactus.txt?ts=", "http://h/contactus.txt?ts="},
        {{12, 0, 0}, "http://h/?ts=<timestamp", "http://h/?ts=<timestamp"},
    };
    GeneralApplicationToolkitUnit unit;
    for (const auto& c : cases) {
        unit.platform().localTimeOfDay = [&c] { return c.now; };
        EXPECT_EQ(unit.InsertTimestamp(c.url), c.expected) << c.url;
    }
}

TEST(WebServiceSettings, AssignedFromTheBaseAddressKeepingTheLatestVersion) {
    unsetenv("THARVEL_WEB_BASE");
    GeneralApplicationToolkitUnit unit;
    EXPECT_EQ(unit.baseAddress().rfind("https://", 0), 0u) << unit.baseAddress();

    unit.setBaseAddress("http://127.0.0.1:8080/");
    unit.settings().LatestVersion = "1.2";
    unit.AssignSettings();
    const auto& s = unit.settings();
    EXPECT_EQ(s.AppName, "Tharvel");
    EXPECT_EQ(s.AppVersion, "1.1");
    EXPECT_FALSE(s.AppCode.empty());
    EXPECT_EQ(s.UpdaterURL, "http://127.0.0.1:8080/downloads/tharvel/TharvelUpdate.exe?ts=<timestamp>");
    EXPECT_EQ(s.ProductInfoURL, "http://127.0.0.1:8080/downloads/tharvel/tharvel.txt?ts=<timestamp>");
    EXPECT_EQ(s.VersionURL, "http://127.0.0.1:8080/downloads/tharvel/version.txt?ts=<timestamp>");
    EXPECT_EQ(s.ContactInfoURL, "http://127.0.0.1:8080/downloads/tharvel/contactus.txt?ts=");
    EXPECT_EQ(s.LatestVersion, "1.2");
}

TEST(WebServiceSettings, EnvironmentOverridesBaseAndTestHosts) {
    setenv("THARVEL_WEB_BASE", "https://[::1]:8443", 1);
    setenv("THARVEL_TEST_HOSTS", " 127.0.0.1 ,,host.invalid,localhost", 1);
    GeneralApplicationToolkitUnit unit;
    unsetenv("THARVEL_WEB_BASE");
    unsetenv("THARVEL_TEST_HOSTS");
    EXPECT_EQ(unit.baseAddress(), "https://[::1]:8443");
    EXPECT_EQ(unit.baseHostName(), "::1");
    EXPECT_EQ(unit.testHosts(), (std::vector<std::string>{"127.0.0.1", "host.invalid", "localhost"}));

    GeneralApplicationToolkitUnit fixed;
    EXPECT_EQ(fixed.testHosts().size(), 3u);
    EXPECT_EQ(fixed.baseHostName(), "www.quellan.com");
}
