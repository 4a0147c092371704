#pragma once
#include <string>

#include "mysql/Transport.h"

struct sockaddr;

namespace tharvel {

// The socket channel: a blocking TCP socket (IPv4 or IPv6) with TCP_NODELAY,
// SO_KEEPALIVE and a receive timeout, or a local socket when the host is a path
// (starts with "/"; the port is then ignored). The connect itself is limited by the
// same timeout.
class TcpTransport : public Transport {
public:
    TcpTransport(std::string host, int port);
    ~TcpTransport() override;

    int timeout() const override { return timeout_; }
    void setTimeout(int seconds) override;
    size_t readSome(uint8_t* dest, size_t count) override;
    size_t writeSome(const uint8_t* src, size_t count) override;
    // Throws std::runtime_error on any failure; lastError() then holds the detail of a
    // failed or timed-out connect.
    void connect() override;
    void close() override;
    size_t write(const uint8_t* src, size_t count) override;
    int handle() const override { return socket_; }

    // "Socket error on <what>. WSAGetLastError return <code>($<hex>)".
    static std::string socketErrorText(const char* what, int code);

private:
    void applyTimeout();
    bool connectTo(const sockaddr* address, unsigned length, int wait);
    std::string host_;
    int port_;
    int socket_ = -1;
    int timeout_ = 30;
};

}  // namespace tharvel
