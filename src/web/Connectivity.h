#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tharvel {

// Whether the internet can be reached: an ICMP echo to each test host in turn.
// Every call blocks the calling thread.
class Connectivity {
public:
    // The platform underneath, replaceable for tests.
    struct Platform {
        // True when the system has no network to speak of.
        std::function<bool()> systemOffline;
        // An ICMP socket (file descriptor) and whether it is a raw one; -1 when ICMP
        // is not allowed.
        std::function<std::pair<int, bool>()> openIcmpSocket;
    };

    // Reads THARVEL_TEST_HOSTS (the hosts, comma-separated); the fixed hosts otherwise.
    Connectivity();

    Platform& platform() { return platform_; }

    const std::vector<std::string>& testHosts() const { return testHosts_; }
    void setTestHosts(std::vector<std::string> hosts) { testHosts_ = std::move(hosts); }

    bool isInternetAvailable();
    bool pingHost(const std::string& host);
    // The host's first IPv4 address; 0.0.0.0 when it does not resolve.
    static std::array<std::uint8_t, 4> resolveHostAddress(const std::string& host);

private:
    Platform platform_;
    std::vector<std::string> testHosts_;
};

}  // namespace tharvel
