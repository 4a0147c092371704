#pragma once
#include <memory>
#include <string>

#include "mysql/TMySqlVio.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace tharvel {

// When a connection encrypts: never; when the server offers it (the default); always
// (a server without it is refused); always, with a certificate that chains to a
// trusted CA and names the host.
enum class TMyTlsMode { tlsOff, tlsPreferred, tlsRequired, tlsVerify };

// "off", "preferred", "required" or "verify"; empty is the default (preferred).
// Anything else raises std::invalid_argument naming the text.
TMyTlsMode ParseTlsMode(const std::string& text);

// A TLS channel on top of an open socket channel, which it owns and closes.
class TMySqlVioTls : public TMySqlVio {
public:
    // host: what the certificate must name in verify mode (a name or an IP address);
    // caFile: the trusted CAs in PEM, empty for the system's store.
    TMySqlVioTls(std::unique_ptr<TMySqlVio> inner, TMyTlsMode mode, std::string host, std::string caFile);
    ~TMySqlVioTls() override;

    int GetTimeout() const override { return inner_->GetTimeout(); }
    void SetTimeout(int seconds) override { inner_->SetTimeout(seconds); }
    size_t ReadSome(uint8_t* dest, size_t count) override;
    size_t WriteSome(const uint8_t* src, size_t count) override;
    // The TLS handshake; raises EMySqlException 2026 naming what failed.
    void Connect() override;
    void close() override;
    int Handle() const override { return inner_->Handle(); }

private:
    std::string failure(const char* what, int rc);
    std::unique_ptr<TMySqlVio> inner_;
    TMyTlsMode mode_;
    std::string host_, caFile_;
    SSL_CTX* context_ = nullptr;
    SSL* ssl_ = nullptr;
};

}  // namespace tharvel
