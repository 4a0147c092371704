#include "web/Connectivity.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/FileDescriptor.h"
#include "platform/Text.h"

namespace tharvel {
namespace {

bool endsWithNoCase(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    return strncasecmp(text.c_str() + text.size() - suffix.size(), suffix.c_str(), suffix.size()) == 0;
}

// True when no interface but loopback is up with an address.
bool noNetworkInterfaceUp() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return true;
    bool up = false;
    for (ifaddrs* entry = list; entry && !up; entry = entry->ifa_next) {
        if (!entry->ifa_addr) continue;
        int family = entry->ifa_addr->sa_family;
        unsigned flags = entry->ifa_flags;
        up = (family == AF_INET || family == AF_INET6) && (flags & IFF_UP) && (flags & IFF_RUNNING) &&
             !(flags & IFF_LOOPBACK);
    }
    freeifaddrs(list);
    return !up;
}

// An unprivileged ICMP socket where the system allows one, else a raw one.
std::pair<int, bool> openIcmpSocket() {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd >= 0) return {fd, false};
    fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    return {fd, true};
}

std::uint16_t icmpChecksum(const unsigned char* data, size_t size) {
    std::uint32_t sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2) sum += (data[i] << 8) | data[i + 1];
    if (size % 2) sum += data[size - 1] << 8;
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return htons(static_cast<std::uint16_t>(~sum));
}

}  // namespace

Connectivity::Connectivity() : testHosts_{"www.google.com", "www.wikipedia.org", "www.cloudflare.com"} {
    platform_.systemOffline = noNetworkInterfaceUp;
    platform_.openIcmpSocket = openIcmpSocket;
    if (const char* hosts = std::getenv("THARVEL_TEST_HOSTS"); hosts && *hosts) {
        testHosts_.clear();
        std::string list = hosts;
        size_t start = 0;
        while (start <= list.size()) {
            size_t comma = list.find(',', start);
            if (comma == std::string::npos) comma = list.size();
            if (auto host = trim(std::string_view(list).substr(start, comma - start), " \t"); !host.empty())
                testHosts_.emplace_back(host);
            start = comma + 1;
        }
        // Test hosts may sit on loopback on a machine with no other network.
        platform_.systemOffline = [] { return false; };
    }
}

bool Connectivity::isInternetAvailable() {
    try {
        if (platform_.systemOffline()) return false;
        for (const auto& host : testHosts_)
            if (pingHost(host)) return true;
    } catch (...) {
    }
    return false;
}

bool Connectivity::pingHost(const std::string& host) {
    auto [fd, raw] = platform_.openIcmpSocket();
    if (fd < 0) return false;
    FileDescriptor socket(fd);
    auto address = resolveHostAddress(host);
    // An unresolved host is no answer; 0.0.0.0 would reach this very machine.
    if (address == std::array<std::uint8_t, 4>{}) return false;

    static std::atomic<std::uint16_t> sequence{0};
    std::uint16_t seq = ++sequence;
    auto id = static_cast<std::uint16_t>(::getpid());
    unsigned char request[8] = {ICMP_ECHO, 0, 0, 0};
    request[4] = id >> 8, request[5] = id & 0xFF, request[6] = seq >> 8, request[7] = seq & 0xFF;
    std::uint16_t sum = icmpChecksum(request, sizeof request);
    std::memcpy(request + 2, &sum, 2);

    sockaddr_in target{};
    target.sin_family = AF_INET;
    std::memcpy(&target.sin_addr, address.data(), 4);
    if (::sendto(socket.get(), request, sizeof request, 0, reinterpret_cast<sockaddr*>(&target),
                 sizeof target) < 0)
        return false;

    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(1000);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd wait{socket.get(), POLLIN, 0};
        int ready = ::poll(&wait, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        unsigned char reply[128];
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        ssize_t got =
            ::recvfrom(socket.get(), reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return false;
        }
        size_t offset = 0;
        if (raw) {
            // A raw socket sees every ICMP packet, with its IP header.
            if (got < 1) continue;
            offset = (reply[0] & 0x0F) * 4;
        }
        if (static_cast<size_t>(got) < offset + 8) continue;
        const unsigned char* icmp = reply + offset;
        if (icmp[0] != ICMP_ECHOREPLY) continue;
        if (std::memcmp(&from.sin_addr, address.data(), 4) != 0) continue;
        if (((icmp[6] << 8) | icmp[7]) != seq) continue;
        if (raw && ((icmp[4] << 8) | icmp[5]) != id) continue;
        return true;
    }
}

std::array<std::uint8_t, 4> Connectivity::resolveHostAddress(const std::string& host) {
    std::array<std::uint8_t, 4> address{};
    // Names under "invalid" never resolve; no need to ask a name server.
    if (host.empty() || endsWithNoCase(host, ".invalid") || strcasecmp(host.c_str(), "invalid") == 0)
        return address;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_RAW;
    addrinfo* result = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || !result) return address;
    for (addrinfo* entry = result; entry; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr) {
            std::memcpy(address.data(), &reinterpret_cast<sockaddr_in*>(entry->ai_addr)->sin_addr, 4);
            break;
        }
    }
    freeaddrinfo(result);
    return address;
}

}  // namespace tharvel
