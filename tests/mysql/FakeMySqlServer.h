#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace tharvel::test {

// One side of a scripted conversation with the client: plain and compressed framing.
class FakePeer {
public:
    explicit FakePeer(int socket) : socket_(socket) {}
    ~FakePeer();
    FakePeer(const FakePeer&) = delete;
    FakePeer& operator=(const FakePeer&) = delete;

    struct Packet {
        uint8_t seq = 0;
        std::string payload;
    };
    struct Frame {
        uint8_t seq = 0;
        uint32_t inflatedLength = 0;
        std::string payload;  // as sent (deflated or not)
        std::string inflated;
    };

    // Accepts the client's TLS handshake; everything after it travels encrypted.
    void startTls(const std::string& certificateFile, const std::string& keyFile);
    void sendRaw(const std::string& bytes);
    std::string readRaw(size_t n);
    // True when the client closed the connection (nothing more to read).
    bool atEnd();

    void send(uint8_t seq, const std::string& payload);
    Packet read();
    void sendFrame(uint8_t seq, const std::string& inner, bool deflate);
    Frame readFrame();

private:
    int socket_;
    SSL_CTX* context_ = nullptr;
    SSL* ssl_ = nullptr;
};

// A scripted server on 127.0.0.1: the script runs on its own thread for the first
// connection. gtest expectations may be used inside it.
class FakeMySqlServer {
public:
    using Script = std::function<void(FakePeer&)>;
    explicit FakeMySqlServer(Script script);
    ~FakeMySqlServer();
    FakeMySqlServer(const FakeMySqlServer&) = delete;
    FakeMySqlServer& operator=(const FakeMySqlServer&) = delete;

    int port() const { return port_; }
    // Waits for the script to finish.
    void join();

private:
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

// Protocol pieces for scripts.
std::string le(uint64_t value, int bytes);
std::string lengthCoded(uint64_t value);
std::string lengthCodedText(const std::string& text);
// A protocol-10 greeting; full adds the second scramble part of 4.1 servers.
std::string greeting(uint16_t capabilities, bool full = true, uint8_t protocol = 10,
                     const std::string& version = "5.0.96");
// The greeting of a current server: plugin authentication in the upper capabilities
// and the method that the scramble is for.
std::string pluginGreeting(uint16_t capabilities, const std::string& method,
                           const std::string& version = "8.0.36");
std::string okPacket(uint64_t affected = 0, uint16_t status = 2);
std::string eofPacket(uint16_t status = 2);
std::string columnDefinition41(const std::string& name, uint8_t type, uint32_t length = 20);
inline const char* kScramble = "abcdefghijklmnopqrst";

}  // namespace tharvel::test
