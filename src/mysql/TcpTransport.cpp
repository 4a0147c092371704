#include "mysql/TcpTransport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace tharvel {
std::string TcpTransport::socketErrorText(const char* what, int code) {
    char text[128];
    std::snprintf(text, sizeof text, "Socket error on %s. WSAGetLastError return %d($%X)", what, code,
                  static_cast<unsigned>(code));
    return text;
}

TcpTransport::TcpTransport(std::string host, int port) : host_(std::move(host)), port_(port) {}

TcpTransport::~TcpTransport() {
    close();
}

void TcpTransport::applyTimeout() {
    timeval tv{};
    tv.tv_sec = timeout_ > 0 ? timeout_ : 0;
    if (setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0)
        throw std::runtime_error("cannot set the receive timeout of the socket");
}

void TcpTransport::setTimeout(int seconds) {
    if (seconds == timeout_) return;
    timeout_ = seconds;
    if (socket_ >= 0) applyTimeout();
}

// Every address of the host in turn, IPv4 and IPv6 alike; each gets an equal share
// of the time that is left, so one that drops packets cannot use up the whole timeout.
void TcpTransport::connect() {
    Transport::connect();
    close();
    lastError_.clear();
    int port = port_ == 0 ? 3306 : port_;
    std::string host = host_.empty() ? "localhost" : host_;

    std::vector<std::pair<sockaddr_storage, socklen_t>> addresses;
    if (host.front() == '/') {
        sockaddr_un local{};
        local.sun_family = AF_UNIX;
        if (host.size() >= sizeof local.sun_path) throw std::runtime_error("socket path too long: " + host);
        std::memcpy(local.sun_path, host.data(), host.size());
        sockaddr_storage any{};
        std::memcpy(&any, &local, sizeof local);
        addresses.emplace_back(any, static_cast<socklen_t>(sizeof local));
    } else {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* found = nullptr;
        std::string service = std::to_string(port);
        if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found)
            throw std::runtime_error("cannot resolve " + host);
        for (addrinfo* a = found; a; a = a->ai_next) {
            if (a->ai_family != AF_INET && a->ai_family != AF_INET6) continue;
            sockaddr_storage any{};
            std::memcpy(&any, a->ai_addr, a->ai_addrlen);
            addresses.emplace_back(any, a->ai_addrlen);
        }
        freeaddrinfo(found);
        if (addresses.empty()) throw std::runtime_error("cannot resolve " + host);
    }

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_);
    for (size_t i = 0; i < addresses.size(); ++i) {
        int wait = -1;
        if (timeout_ > 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            wait = std::max<int>(0, static_cast<int>(left.count() / static_cast<long>(addresses.size() - i)));
        }
        if (connectTo(reinterpret_cast<const sockaddr*>(&addresses[i].first), addresses[i].second, wait))
            break;
        if (i + 1 == addresses.size()) throw std::runtime_error(lastError_);
    }
    int on = 1;
    if (addresses.front().first.ss_family != AF_UNIX)
        setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(socket_, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    try {
        applyTimeout();
    } catch (...) {
        close();
        throw;
    }
}

// One connect without blocking, limited to wait milliseconds (-1: no limit).
bool TcpTransport::connectTo(const sockaddr* address, socklen_t length, int wait) {
    close();
    socket_ = socket(address->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0) {
        lastError_ = socketErrorText("socket", errno);
        return false;
    }
    int flags = fcntl(socket_, F_GETFL);
    fcntl(socket_, F_SETFL, flags | O_NONBLOCK);
    int error = 0;
    if (::connect(socket_, address, length) != 0) {
        error = errno;
        if (error == EINPROGRESS || error == EAGAIN) {
            auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait);
            for (;;) {
                int left = -1;
                if (wait >= 0) {
                    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now());
                    left = ms.count() > 0 ? static_cast<int>(ms.count()) : 0;
                }
                pollfd pfd{socket_, POLLOUT, 0};
                int ready = poll(&pfd, 1, left);
                if (ready < 0 && errno == EINTR) continue;
                if (ready == 0) {
                    lastError_ = socketErrorText("connect", ETIMEDOUT) + " (timed out after " +
                                 std::to_string(timeout_) + " s)";
                    close();
                    return false;
                }
                socklen_t len = sizeof error;
                if (ready < 0 || getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
                break;
            }
        }
        if (error != 0) {
            lastError_ = socketErrorText("connect", error);
            close();
            return false;
        }
    }
    fcntl(socket_, F_SETFL, flags & ~O_NONBLOCK);
    return true;
}

size_t TcpTransport::readSome(uint8_t* dest, size_t count) {
    lastError_.clear();
    if (socket_ < 0) return 0;
    for (;;) {
        ssize_t n = recv(socket_, dest, count, 0);
        if (n > 0) return static_cast<size_t>(n);
        if (n == 0) return 0;
        if (errno == EINTR) continue;
        int code = (errno == EAGAIN || errno == EWOULDBLOCK) ? ETIMEDOUT : errno;
        lastError_ = socketErrorText("read", code);
        return 0;
    }
}

size_t TcpTransport::writeSome(const uint8_t* src, size_t count) {
    lastError_.clear();
    if (socket_ < 0) return 0;
    for (;;) {
        ssize_t n = send(socket_, src, count, MSG_NOSIGNAL);
        if (n >= 0) return static_cast<size_t>(n);
        if (errno == EINTR) continue;
        lastError_ = socketErrorText("write", errno);
        return 0;
    }
}

size_t TcpTransport::write(const uint8_t* src, size_t count) {
    if (socket_ < 0) return 0;
    return Transport::write(src, count);
}

void TcpTransport::close() {
    if (socket_ < 0) return;
    shutdown(socket_, SHUT_RDWR);
    ::close(socket_);
    socket_ = -1;
}

}  // namespace tharvel
