#include "web/GeneralApplicationToolkitUnit.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <system_error>
#include <utility>

#include "platform/AppPaths.h"
#include "platform/ProgramVersion.h"
#include "web/HttpClient.h"
#include "web/WebError.h"

namespace tharvel {
namespace {

constexpr const char* kTimestampMark = "<timestamp>";
constexpr const char* kContactUser = "pelor";
constexpr const char* kContactPassword = "507381";

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

std::string trim(const std::string& text) {
    auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

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

GeneralApplicationToolkitUnit::TimeOfDay localTimeOfDay() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_hour, local.tm_min, local.tm_sec};
}

// Starts program in a session of its own, reparented to init, so that it outlives
// this process. An exec failure is reported back through a close-on-exec pipe.
void startDetached(const std::filesystem::path& program) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
    FileDescriptor readEnd(pipeFds[0]);
    std::string path = program.string();
    pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFds[1]);
        throw std::system_error(errno, std::generic_category(), "fork");
    }
    if (child == 0) {
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
        ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
        char* argv[] = {path.data(), nullptr};
        ::execv(path.c_str(), argv);
        int error = errno;
        [[maybe_unused]] auto written = ::write(pipeFds[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    while ((got = ::read(readEnd.get(), &error, sizeof error)) < 0 && errno == EINTR) {
    }
    if (got == static_cast<ssize_t>(sizeof error))
        throw std::system_error(error, std::generic_category(), "Could not start " + path);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("Could not start " + path);
}

std::uint16_t icmpChecksum(const unsigned char* data, size_t size) {
    std::uint32_t sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2) sum += (data[i] << 8) | data[i + 1];
    if (size % 2) sum += data[size - 1] << 8;
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return htons(static_cast<std::uint16_t>(~sum));
}

bool isValidUtf8(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        size_t extra;
        std::uint32_t code;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, code = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size()) return false;
        for (size_t k = 1; k <= extra; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr std::uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (code < kMinimum[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

// The reply as UTF-8: a byte-order mark dropped, bytes that are not UTF-8 read as Latin-1.
std::string replyText(std::string bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
    if (isValidUtf8(bytes)) return bytes;
    std::string text;
    text.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else {
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

bool startsWithNoCase(const std::string& text, const char* prefix) {
    return strncasecmp(text.c_str(), prefix, std::strlen(prefix)) == 0;
}

}  // namespace

GeneralApplicationToolkitUnit::GeneralApplicationToolkitUnit()
    : baseAddress_(kDefaultBaseAddress),
      testHosts_{"www.google.com", "www.wikipedia.org", "www.cloudflare.com"},
      executableDirectory_(AppPaths::executableDirectory()) {
    platform_.systemOffline = noNetworkInterfaceUp;
    platform_.openIcmpSocket = openIcmpSocket;
    platform_.localTimeOfDay = localTimeOfDay;
    platform_.startDetached = startDetached;
    if (const char* base = std::getenv("THARVEL_WEB_BASE"); base && *base) setBaseAddress(base);
    if (const char* hosts = std::getenv("THARVEL_TEST_HOSTS"); hosts && *hosts) {
        testHosts_.clear();
        std::string list = hosts;
        size_t start = 0;
        while (start <= list.size()) {
            size_t comma = list.find(',', start);
            if (comma == std::string::npos) comma = list.size();
            if (auto host = trim(list.substr(start, comma - start)); !host.empty())
                testHosts_.push_back(host);
            start = comma + 1;
        }
        // Test hosts may sit on loopback on a machine with no other network.
        platform_.systemOffline = [] { return false; };
    }
}

void GeneralApplicationToolkitUnit::setBaseAddress(std::string baseAddress) {
    while (!baseAddress.empty() && baseAddress.back() == '/') baseAddress.pop_back();
    baseAddress_ = std::move(baseAddress);
}

std::string GeneralApplicationToolkitUnit::baseHostName() const {
    std::string rest = baseAddress_;
    if (auto scheme = rest.find("://"); scheme != std::string::npos) rest.erase(0, scheme + 3);
    if (auto at = rest.find_first_of("/?#"); at != std::string::npos) rest.erase(at);
    if (auto at = rest.rfind('@'); at != std::string::npos) rest.erase(0, at + 1);
    if (rest.starts_with("[")) {
        auto close = rest.find(']');
        return rest.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    if (auto colon = rest.find(':'); colon != std::string::npos) rest.erase(colon);
    return rest;
}

void GeneralApplicationToolkitUnit::RemoveStaleUpdater() {
    std::error_code ignored;
    std::filesystem::remove(executableDirectory_ / kUpdaterFileName, ignored);
}

void GeneralApplicationToolkitUnit::AssignSettings() {
    settings_.AppName = "Tharvel";
    settings_.AppCode = "THARVEL-LINUX";
    settings_.AppVersion = ProgramVersion::text();
    settings_.UpdaterURL = baseAddress_ + "/downloads/tharvel/TharvelUpdate.exe?ts=<timestamp>";
    settings_.ProductInfoURL = baseAddress_ + "/downloads/tharvel/tharvel.txt?ts=<timestamp>";
    settings_.VersionURL = baseAddress_ + "/downloads/tharvel/version.txt?ts=<timestamp>";
    settings_.ContactInfoURL = baseAddress_ + "/downloads/tharvel/contactus.txt?ts=";
}

bool GeneralApplicationToolkitUnit::IsInternetAvailable() {
    try {
        if (platform_.systemOffline()) return false;
        for (const auto& host : testHosts_)
            if (PingHost(host)) return true;
    } catch (...) {
    }
    return false;
}

bool GeneralApplicationToolkitUnit::PingHost(const std::string& host) {
    auto [fd, raw] = platform_.openIcmpSocket();
    if (fd < 0) return false;
    FileDescriptor socket(fd);
    auto address = ResolveHostAddress(host);
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

std::array<std::uint8_t, 4> GeneralApplicationToolkitUnit::ResolveHostAddress(const std::string& host) {
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

std::string GeneralApplicationToolkitUnit::TimestampFor(TimeOfDay time) {
    long stamp = 31363200L + 3600L * time.hour + 60L * time.minute + time.second;
    return std::to_string(stamp);
}

std::string GeneralApplicationToolkitUnit::InsertTimestamp(const std::string& url) {
    auto at = url.find(kTimestampMark);
    if (at == std::string::npos) return url;
    std::string result = url;
    result.replace(at, std::strlen(kTimestampMark), TimestampFor(platform_.localTimeOfDay()));
    return result;
}

std::string GeneralApplicationToolkitUnit::WebGetText(const std::string& url, const std::string& userName,
                                                      const std::string& password) {
    HttpClient client({.basicAuth = true,
                       .userName = userName,
                       .password = password,
                       .followRedirects = false,
                       .caFile = caFile_});
    return replyText(client.getBytes(InsertTimestamp(url)));
}

std::string GeneralApplicationToolkitUnit::UrlEncode(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size() * 3);
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            encoded += static_cast<char>(c);
        } else if (std::strchr("*@._-$!'()", c) && c != 0) {
            encoded += static_cast<char>(c);
        } else if (c == ' ') {
            encoded += '+';
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 0x0F];
        }
    }
    return encoded;
}

std::string GeneralApplicationToolkitUnit::SendToMaker(const std::string& type, const std::string& content,
                                                       const std::string& email) {
    std::string url = baseAddress_ +
                      "/controlcenter/contact_quellan.php?application=" + UrlEncode(settings_.AppName) +
                      "&version=" + UrlEncode(settings_.AppVersion) + "&type=" + UrlEncode(type) +
                      "&content=" + UrlEncode(content) + "&email=" + UrlEncode(email) +
                      "&appcode=" + UrlEncode(settings_.AppCode);
    return WebGetText(url, kContactUser, kContactPassword);
}

void GeneralApplicationToolkitUnit::DownloadAndRunUpdater(const std::string& url) {
    // The program runs what it downloads: only over an authenticated connection.
    if (!startsWithNoCase(url, "https://"))
        throw WebError("The updater is only downloaded over a secure connection (https): " + url);
    std::string path = url.substr(0, url.find_first_of("?#"));
    std::string name = path.substr(path.find_last_of("/\\") + 1);
    if (name.empty() || name == "." || name == "..")
        throw WebError("The updater address names no file: " + url);
    std::filesystem::path target = executableDirectory_ / name;
    std::filesystem::path backup = target;
    backup.replace_extension(".BAK");
    std::filesystem::path partial = target;
    partial += ".part";

    std::error_code ignored;
    std::filesystem::remove(backup, ignored);
    if (std::filesystem::exists(target, ignored)) std::filesystem::rename(target, backup);

    try {
        FileDescriptor file(::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0700));
        if (file.get() < 0)
            throw std::system_error(errno, std::generic_category(), "Could not create " + partial.string());
        HttpClient::Options options;
        options.followRedirects = true;
        options.caFile = caFile_;
        HttpClient client(options);
        client.get(InsertTimestamp(url), [&](std::string_view piece) {
            while (!piece.empty()) {
                ssize_t written = ::write(file.get(), piece.data(), piece.size());
                if (written < 0 && errno == EINTR) continue;
                if (written < 0)
                    throw std::system_error(errno, std::generic_category(),
                                            "Could not write " + partial.string());
                piece.remove_prefix(static_cast<size_t>(written));
            }
        });
        if (::fchmod(file.get(), 0755) != 0 || ::fsync(file.get()) != 0)
            throw std::system_error(errno, std::generic_category(), "Could not write " + partial.string());
        if (::close(file.release()) != 0)
            throw std::system_error(errno, std::generic_category(), "Could not write " + partial.string());
        std::filesystem::rename(partial, target);
    } catch (const WebError& error) {
        std::filesystem::remove(partial, ignored);
        if (error.httpStatus() == 404) SendToMaker("UpdateError", url, "Updater missing");
        if (error.httpStatus() != 0) return;
        throw;
    } catch (...) {
        std::filesystem::remove(partial, ignored);
        throw;
    }
    std::filesystem::remove(backup, ignored);
    platform_.startDetached(target);
    if (platform_.requestQuit) platform_.requestQuit();
}

}  // namespace tharvel
