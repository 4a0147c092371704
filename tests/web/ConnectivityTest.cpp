#include <gtest/gtest.h>
#include <unistd.h>

#include <stdexcept>

#include "web/Connectivity.h"

using tharvel::Connectivity;

namespace {

// The echo needs an ICMP socket of either kind; without one the host cannot ping.
bool icmpAllowedHere() {
    auto [fd, raw] = Connectivity().platform().openIcmpSocket();
    (void)raw;
    if (fd < 0) return false;
    close(fd);
    return true;
}

}  // namespace

TEST(ResolveHostAddress, FirstIPv4AddressOrZero) {
    using Address = std::array<std::uint8_t, 4>;
    EXPECT_EQ(Connectivity::resolveHostAddress("127.0.0.1"), (Address{127, 0, 0, 1}));
    EXPECT_EQ(Connectivity::resolveHostAddress("10.1.2.3"), (Address{10, 1, 2, 3}));
    EXPECT_EQ(Connectivity::resolveHostAddress("localhost")[0], 127);
    EXPECT_EQ(Connectivity::resolveHostAddress("no-such-host.invalid"), Address{});
    EXPECT_EQ(Connectivity::resolveHostAddress(""), Address{});
}

TEST(IsInternetAvailable, TriesTheTestHostsInOrderUntilOneAnswers) {
    if (!icmpAllowedHere()) GTEST_SKIP() << "this machine allows no ICMP socket";
    struct Case {
        std::vector<std::string> hosts;
        bool available;
    } cases[] = {
        {{"127.0.0.1"}, true},
        {{"first.invalid", "second.invalid", "127.0.0.1"}, true},
        {{"localhost", "other.invalid"}, true},
        {{"a.invalid", "b.invalid", "c.invalid"}, false},
        {{}, false},
    };
    for (const auto& c : cases) {
        Connectivity connectivity;
        connectivity.platform().systemOffline = [] { return false; };
        connectivity.setTestHosts(c.hosts);
        EXPECT_EQ(connectivity.isInternetAvailable(), c.available) << ::testing::PrintToString(c.hosts);
    }
}

TEST(IsInternetAvailable, OfflineFlagNoIcmpOrAnErrorReadAsNotReachable) {
    struct Case {
        const char* what;
        std::function<void(Connectivity::Platform&)> change;
    } cases[] = {
        {"offline flag", [](auto& p) { p.systemOffline = [] { return true; }; }},
        {"ICMP not allowed", [](auto& p) { p.openIcmpSocket = [] {
                                               return std::pair{-1, false};
                                           }; }},
        {"error in the check",
         [](auto& p) { p.systemOffline = []() -> bool { throw std::runtime_error("x"); }; }},
    };
    for (const auto& c : cases) {
        Connectivity connectivity;
        connectivity.platform().systemOffline = [] { return false; };
        connectivity.setTestHosts({"127.0.0.1", "localhost"});
        c.change(connectivity.platform());
        EXPECT_FALSE(connectivity.isInternetAvailable()) << c.what;
    }
}

TEST(PingHost, AnswersForLoopbackNotForAnUnresolvedName) {
    if (!icmpAllowedHere()) GTEST_SKIP() << "this machine allows no ICMP socket";
    Connectivity connectivity;
    EXPECT_TRUE(connectivity.pingHost("127.0.0.1"));
    // Unresolved reads as 0.0.0.0, which on Linux would reach this machine itself.
    EXPECT_FALSE(connectivity.pingHost("nowhere.invalid"));
}
