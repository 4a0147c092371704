#include "mysql/TMyConnectionOptions.h"

#include <cctype>
#include <stdexcept>

#include "mysql/TMyConnection.h"

namespace tharvel {

void TMyConnectionOptions::checkClosed() const {
    if (owner_ && owner_->Connected())
        throw std::runtime_error("Cannot perform this operation on an open connection");
}

void TMyConnectionOptions::SetCharset(const std::string& charset) {
    for (char c : charset)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_'))
            throw std::invalid_argument("Invalid character set name '" + charset + "'");
    if (charset == charset_) return;
    checkClosed();
    charset_ = charset;
}

void TMyConnectionOptions::SetUseUnicode(bool on) {
    if (on == useUnicode_) return;
    checkClosed();
    useUnicode_ = on;
}

void TMyConnectionOptions::SetCompress(bool on) {
    if (on == compress_) return;
    checkClosed();
    compress_ = on;
}

void TMyConnectionOptions::SetProtocol(TMyProtocol protocol) {
    if (protocol == protocol_) return;
    checkClosed();
    protocol_ = protocol;
}

void TMyConnectionOptions::SetDirect(bool on) {
    if (on == direct_) return;
    checkClosed();
    direct_ = on;
}

void TMyConnectionOptions::SetEmbedded(bool on) {
    if (on == embedded_) return;
    checkClosed();
    embedded_ = on;
}

void TMyConnectionOptions::SetOptimizedBigInt(bool on) {
    if (on == optimizedBigInt_) return;
    checkClosed();
    optimizedBigInt_ = on;
}

void TMyConnectionOptions::SetTlsMode(TMyTlsMode mode) {
    if (mode == tlsMode_) return;
    checkClosed();
    tlsMode_ = mode;
}

void TMyConnectionOptions::SetTlsCaFile(const std::string& path) {
    if (path == tlsCaFile_) return;
    checkClosed();
    tlsCaFile_ = path;
}

}  // namespace tharvel
