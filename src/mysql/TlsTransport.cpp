#include "mysql/TlsTransport.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <stdexcept>

#include "mysql/MySqlError.h"

namespace tharvel {
namespace {

// TLS records travel through the socket channel's own raw operations, so its
// timeouts and its protection from SIGPIPE hold for them too.
int bioWrite(BIO* bio, const char* data, size_t length, size_t* written) {
    auto* vio = static_cast<Transport*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    size_t n = vio->writeSome(reinterpret_cast<const uint8_t*>(data), length);
    *written = n;
    return n > 0 ? 1 : 0;
}

int bioRead(BIO* bio, char* data, size_t length, size_t* read) {
    auto* vio = static_cast<Transport*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    size_t n = vio->readSome(reinterpret_cast<uint8_t*>(data), length);
    *read = n;
    return n > 0 ? 1 : 0;
}

long bioControl(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int bioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

BIO_METHOD* bioMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "mysql channel");
        if (!m) throw MySqlError::client(CR_OUT_OF_MEMORY);
        BIO_meth_set_write_ex(m, bioWrite);
        BIO_meth_set_read_ex(m, bioRead);
        BIO_meth_set_ctrl(m, bioControl);
        BIO_meth_set_create(m, bioCreate);
        return m;
    }();
    return method;
}

std::string openSslErrors() {
    std::string text;
    while (unsigned long code = ERR_get_error()) {
        char line[256];
        ERR_error_string_n(code, line, sizeof line);
        if (!text.empty()) text += "; ";
        text += line;
    }
    return text;
}

bool isIpAddress(const std::string& host) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

[[noreturn]] void tlsError(const std::string& detail) {
    throw MySqlError::clientDetail(CR_SSL_CONNECTION_ERROR, detail);
}

}  // namespace

TlsMode parseTlsMode(const std::string& text) {
    if (text.empty() || text == "preferred") return TlsMode::Preferred;
    if (text == "off") return TlsMode::Off;
    if (text == "required") return TlsMode::Required;
    if (text == "verify") return TlsMode::Verify;
    throw std::invalid_argument("Unknown encryption setting '" + text.substr(0, 64) +
                                "'; use off, preferred, required or verify");
}

TlsTransport::TlsTransport(std::unique_ptr<Transport> inner, TlsMode mode, std::string host,
                           std::string caFile)
    : inner_(std::move(inner)), mode_(mode), host_(std::move(host)), caFile_(std::move(caFile)) {}

TlsTransport::~TlsTransport() {
    close();
}

void TlsTransport::connect() {
    Transport::connect();
    ERR_clear_error();
    context_ = SSL_CTX_new(TLS_client_method());
    if (!context_) tlsError("Cannot set up TLS: " + openSslErrors());
    SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
    SSL_CTX_set_mode(context_, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (mode_ == TlsMode::Verify) {
        if (!caFile_.empty()) {
            if (SSL_CTX_load_verify_locations(context_, caFile_.c_str(), nullptr) != 1)
                tlsError("The CA file '" + caFile_ + "' cannot be read: " + openSslErrors());
        } else if (SSL_CTX_set_default_verify_paths(context_) != 1) {
            tlsError("The system's trusted certificates cannot be loaded: " + openSslErrors());
        }
        SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
    } else {
        SSL_CTX_set_verify(context_, SSL_VERIFY_NONE, nullptr);
    }
    ssl_ = SSL_new(context_);
    BIO* bio = ssl_ ? BIO_new(bioMethod()) : nullptr;
    if (!bio) tlsError("Cannot set up TLS: " + openSslErrors());
    BIO_set_data(bio, inner_.get());
    SSL_set_bio(ssl_, bio, bio);
    bool ip = isIpAddress(host_);
    if (!ip && !host_.empty()) SSL_set_tlsext_host_name(ssl_, host_.c_str());
    if (mode_ == TlsMode::Verify) {
        int ok = ip ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host_.c_str())
                    : SSL_set1_host(ssl_, host_.c_str());
        if (ok != 1) tlsError("Cannot set the name to verify: " + openSslErrors());
    }
    int rc = SSL_connect(ssl_);
    if (rc == 1) return;
    long verdict = SSL_get_verify_result(ssl_);
    if (mode_ == TlsMode::Verify && verdict != X509_V_OK) {
        ERR_clear_error();
        if (verdict == X509_V_ERR_HOSTNAME_MISMATCH || verdict == X509_V_ERR_IP_ADDRESS_MISMATCH)
            tlsError("The server's certificate does not match the host name '" + host_ + "'");
        tlsError(std::string("The server's certificate is not trusted: ") +
                 X509_verify_cert_error_string(verdict));
    }
    std::string detail = failure("The TLS handshake failed", rc);
    tlsError(detail.starts_with("The TLS") ? detail : "The TLS handshake failed: " + detail);
}

// The socket's own failure (a timeout, a reset) reads as it does without TLS; only
// a failure of TLS itself is named as one.
std::string TlsTransport::failure(const char* what, int rc) {
    if (!inner_->lastError().empty()) {
        ERR_clear_error();
        return inner_->lastError();
    }
    std::string detail = openSslErrors();
    if (detail.empty() && ssl_ && SSL_get_error(ssl_, rc) == SSL_ERROR_SYSCALL)
        detail = "the server closed the connection";
    return detail.empty() ? what : std::string(what) + ": " + detail;
}

size_t TlsTransport::readSome(uint8_t* dest, size_t count) {
    lastError_.clear();
    if (!ssl_) return 0;
    size_t n = 0;
    int rc = SSL_read_ex(ssl_, dest, count, &n);
    if (rc == 1) return n;
    if (SSL_get_error(ssl_, rc) != SSL_ERROR_ZERO_RETURN) lastError_ = failure("TLS read failed", rc);
    ERR_clear_error();
    return 0;
}

size_t TlsTransport::writeSome(const uint8_t* src, size_t count) {
    lastError_.clear();
    if (!ssl_) return 0;
    size_t n = 0;
    int rc = SSL_write_ex(ssl_, src, count, &n);
    if (rc == 1) return n;
    lastError_ = failure("TLS write failed", rc);
    ERR_clear_error();
    return 0;
}

void TlsTransport::close() {
    if (ssl_) {
        // Announces the end without waiting for the server's answer.
        if (SSL_is_init_finished(ssl_)) SSL_shutdown(ssl_);
        SSL_free(ssl_);
        ssl_ = nullptr;
        ERR_clear_error();
    }
    if (context_) {
        SSL_CTX_free(context_);
        context_ = nullptr;
    }
    if (inner_) inner_->close();
}

}  // namespace tharvel
