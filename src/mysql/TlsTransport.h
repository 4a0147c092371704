#pragma once
#include <memory>
#include <string>

#include "mysql/Transport.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace tharvel {

// When a connection encrypts: never; when the server offers it (the default); always
// (a server without it is refused); always, with a certificate that chains to a
// trusted CA and names the host.
enum class TlsMode { Off, Preferred, Required, Verify };

// "off", "preferred", "required" or "verify"; empty is the default (preferred).
// Anything else raises std::invalid_argument naming the text.
TlsMode parseTlsMode(const std::string& text);

// A TLS channel on top of an open socket channel, which it owns and closes.
class TlsTransport : public Transport {
public:
    // host: what the certificate must name in verify mode (a name or an IP address);
    // caFile: the trusted CAs in PEM, empty for the system's store.
    TlsTransport(std::unique_ptr<Transport> inner, TlsMode mode, std::string host, std::string caFile);
    ~TlsTransport() override;

    int timeout() const override { return inner_->timeout(); }
    void setTimeout(int seconds) override { inner_->setTimeout(seconds); }
    size_t readSome(uint8_t* dest, size_t count) override;
    size_t writeSome(const uint8_t* src, size_t count) override;
    // The TLS handshake; raises MySqlError 2026 naming what failed.
    void connect() override;
    void close() override;
    int handle() const override { return inner_->handle(); }

private:
    std::string failure(const char* what, int rc);
    std::unique_ptr<Transport> inner_;
    TlsMode mode_;
    std::string host_, caFile_;
    SSL_CTX* context_ = nullptr;
    SSL* ssl_ = nullptr;
};

}  // namespace tharvel
