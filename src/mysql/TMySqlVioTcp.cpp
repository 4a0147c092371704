#include "mysql/TMySqlVioTcp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace tharvel {
namespace {

std::string socketErrorText(const char* what, int code) {
    char text[128];
    std::snprintf(text, sizeof text, "Socket error on %s. WSAGetLastError return %d($%X)", what, code,
                  static_cast<unsigned>(code));
    return text;
}

}  // namespace

TMySqlVioTcp::TMySqlVioTcp(std::string host, int port) : host_(std::move(host)), port_(port) {}

TMySqlVioTcp::~TMySqlVioTcp() {
    Close();
}

void TMySqlVioTcp::applyTimeout() {
    timeval tv{};
    tv.tv_sec = timeout_ > 0 ? timeout_ : 0;
    if (setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0)
        throw std::runtime_error("cannot set the receive timeout of the socket");
}

void TMySqlVioTcp::SetTimeout(int seconds) {
    if (seconds == timeout_) return;
    timeout_ = seconds;
    if (socket_ >= 0) applyTimeout();
}

void TMySqlVioTcp::Connect() {
    TMySqlVio::Connect();
    Close();
    lastError_.clear();
    int port = port_ == 0 ? 3306 : port_;
    std::string host = host_.empty() ? "localhost" : host_;

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
            throw std::runtime_error("cannot resolve " + host);
        address.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
        freeaddrinfo(found);
    }

    socket_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0) throw std::runtime_error("cannot create a socket");

    // Connect without blocking, so an unreachable host cannot hold us longer than the
    // timeout.
    int flags = fcntl(socket_, F_GETFL);
    fcntl(socket_, F_SETFL, flags | O_NONBLOCK);
    int error = 0;
    if (connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_);
            for (;;) {
                int wait = -1;
                if (timeout_ > 0) {
                    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now());
                    wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
                }
                pollfd pfd{socket_, POLLOUT, 0};
                int ready = poll(&pfd, 1, wait);
                if (ready < 0 && errno == EINTR) continue;
                if (ready == 0) {
                    lastError_ = socketErrorText("connect", ETIMEDOUT) + " (timed out after " +
                                 std::to_string(timeout_) + " s)";
                    Close();
                    throw std::runtime_error(lastError_);
                }
                socklen_t len = sizeof error;
                if (ready < 0)
                    error = errno;
                else if (getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
                    error = errno;
                break;
            }
        }
        if (error != 0) {
            lastError_ = socketErrorText("connect", error);
            Close();
            throw std::runtime_error(lastError_);
        }
    }
    fcntl(socket_, F_SETFL, flags & ~O_NONBLOCK);
    int on = 1;
    setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(socket_, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    try {
        applyTimeout();
    } catch (...) {
        Close();
        throw;
    }
}

size_t TMySqlVioTcp::ReadSome(uint8_t* dest, size_t count) {
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

size_t TMySqlVioTcp::WriteSome(const uint8_t* src, size_t count) {
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

size_t TMySqlVioTcp::Write(const uint8_t* src, size_t count) {
    if (socket_ < 0) return 0;
    return TMySqlVio::Write(src, count);
}

void TMySqlVioTcp::Close() {
    if (socket_ < 0) return;
    shutdown(socket_, SHUT_RDWR);
    ::close(socket_);
    socket_ = -1;
}

}  // namespace tharvel
