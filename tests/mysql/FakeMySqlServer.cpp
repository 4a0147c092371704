#include "FakeMySqlServer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <stdexcept>

namespace tharvel::test {

FakePeer::~FakePeer() {
    if (ssl_) SSL_free(ssl_);
    if (context_) SSL_CTX_free(context_);
}

void FakePeer::startTls(const std::string& certificateFile, const std::string& keyFile) {
    context_ = SSL_CTX_new(TLS_server_method());
    if (!context_ || SSL_CTX_use_certificate_chain_file(context_, certificateFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context_, keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
        throw std::runtime_error("fake server: cannot load the certificate");
    ssl_ = SSL_new(context_);
    SSL_set_fd(ssl_, socket_);
    if (SSL_accept(ssl_) != 1) throw std::runtime_error("fake server: TLS handshake failed");
}

void FakePeer::sendRaw(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ssl_ ? SSL_write(ssl_, bytes.data() + done, static_cast<int>(bytes.size() - done))
                         : ::send(socket_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) throw std::runtime_error("fake server: send failed");
        done += static_cast<size_t>(n);
    }
}

std::string FakePeer::readRaw(size_t n) {
    std::string out(n, '\0');
    size_t done = 0;
    while (done < n) {
        ssize_t got = ssl_ ? SSL_read(ssl_, out.data() + done, static_cast<int>(n - done))
                           : ::recv(socket_, out.data() + done, n - done, 0);
        if (got <= 0) throw std::runtime_error("fake server: client closed or timed out");
        done += static_cast<size_t>(got);
    }
    return out;
}

bool FakePeer::atEnd() {
    char c;
    if (ssl_) return SSL_peek(ssl_, &c, 1) <= 0;
    return ::recv(socket_, &c, 1, MSG_PEEK) <= 0;
}

void FakePeer::send(uint8_t seq, const std::string& payload) {
    sendRaw(le(payload.size(), 3) + static_cast<char>(seq) + payload);
}

FakePeer::Packet FakePeer::read() {
    std::string h = readRaw(4);
    size_t n =
        static_cast<uint8_t>(h[0]) | static_cast<uint8_t>(h[1]) << 8 | static_cast<uint8_t>(h[2]) << 16;
    return {static_cast<uint8_t>(h[3]), readRaw(n)};
}

void FakePeer::sendFrame(uint8_t seq, const std::string& inner, bool deflate) {
    if (!deflate) {
        sendRaw(le(inner.size(), 3) + static_cast<char>(seq) + le(0, 3) + inner);
        return;
    }
    uLongf n = compressBound(inner.size());
    std::string out(n, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(inner.data()),
             inner.size());
    out.resize(n);
    sendRaw(le(out.size(), 3) + static_cast<char>(seq) + le(inner.size(), 3) + out);
}

FakePeer::Frame FakePeer::readFrame() {
    std::string h = readRaw(7);
    auto u = [&](int i) { return static_cast<uint32_t>(static_cast<uint8_t>(h[i])); };
    Frame f;
    size_t n = u(0) | u(1) << 8 | u(2) << 16;
    f.seq = static_cast<uint8_t>(h[3]);
    f.inflatedLength = u(4) | u(5) << 8 | u(6) << 16;
    f.payload = readRaw(n);
    if (f.inflatedLength == 0) {
        f.inflated = f.payload;
    } else {
        f.inflated.resize(f.inflatedLength);
        uLongf out = f.inflatedLength;
        if (uncompress(reinterpret_cast<Bytef*>(f.inflated.data()), &out,
                       reinterpret_cast<const Bytef*>(f.payload.data()), f.payload.size()) != Z_OK)
            throw std::runtime_error("fake server: frame does not inflate");
    }
    return f;
}

FakeMySqlServer::FakeMySqlServer(Script script) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 4) != 0)
        throw std::runtime_error("fake server: cannot listen");
    socklen_t len = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this, script = std::move(script)] {
        int s = accept(listener_, nullptr, nullptr);
        if (s < 0) return;
        timeval tv{20, 0};  // a safety net only: a broken client must not hang the run
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        FakePeer peer(s);
        try {
            script(peer);
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
        }
        ::shutdown(s, SHUT_RDWR);
        ::close(s);
    });
}

void FakeMySqlServer::join() {
    if (thread_.joinable()) thread_.join();
}

FakeMySqlServer::~FakeMySqlServer() {
    if (listener_ >= 0) ::shutdown(listener_, SHUT_RDWR);
    join();
    ::close(listener_);
}

std::string le(uint64_t value, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i) s += static_cast<char>((value >> (8 * i)) & 0xFF);
    return s;
}

std::string lengthCoded(uint64_t v) {
    if (v < 251) return std::string(1, static_cast<char>(v));
    if (v < 65536) return "\xFC" + le(v, 2);
    if (v < 16777216) return "\xFD" + le(v, 3);
    return "\xFE" + le(v, 8);
}

std::string lengthCodedText(const std::string& text) {
    return lengthCoded(text.size()) + text;
}

namespace {

// capabilitiesHigh 0 leaves the 13 bytes after the status zero, as old servers do.
std::string greetingWith(uint16_t capabilities, uint16_t capabilitiesHigh, bool full, uint8_t protocol,
                         const std::string& version, const std::string& method) {
    std::string g(1, static_cast<char>(protocol));
    g += version + '\0';
    g += le(77, 4);
    g += std::string(kScramble, 8) + '\0';
    g += le(capabilities, 2);
    g += '\x08';
    g += le(2, 2);
    g += le(capabilitiesHigh, 2);
    g += capabilitiesHigh ? '\x15' : '\0';
    g += std::string(10, '\0');
    if (full) g += std::string(kScramble + 8, 12) + '\0';
    if (!method.empty()) g += method + '\0';
    return g;
}

}  // namespace

std::string greeting(uint16_t capabilities, bool full, uint8_t protocol, const std::string& version) {
    return greetingWith(capabilities, 0, full, protocol, version, "");
}

std::string pluginGreeting(uint16_t capabilities, const std::string& method, const std::string& version) {
    // Plugin authentication with long answers, in the upper half.
    return greetingWith(capabilities, 0x0028, true, 10, version, method);
}

std::string okPacket(uint64_t affected, uint16_t status) {
    return std::string(1, '\0') + lengthCoded(affected) + lengthCoded(0) + le(status, 2) + le(0, 2);
}

std::string eofPacket(uint16_t status) {
    return "\xFE" + le(0, 2) + le(status, 2);
}

std::string columnDefinition41(const std::string& name, uint8_t type, uint32_t length) {
    std::string fixed = le(33, 2) + le(length, 4) + static_cast<char>(type) + le(0, 2) + le(0, 2);
    return lengthCodedText("def") + lengthCodedText("db") + lengthCodedText("t") + lengthCodedText("t") +
           lengthCodedText(name) + lengthCodedText(name) + lengthCodedText(fixed);
}

}  // namespace tharvel::test
