#include "mysql/ConnectionOptions.h"

#include <cctype>
#include <stdexcept>

#include "mysql/MySqlConnection.h"

namespace tharvel {

void ConnectionOptions::checkClosed() const {
    if (owner_ && owner_->connected())
        throw std::runtime_error("Cannot perform this operation on an open connection");
}

void ConnectionOptions::setCharset(const std::string& charset) {
    for (char c : charset)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_'))
            throw std::invalid_argument("Invalid character set name '" + charset + "'");
    if (charset == charset_) return;
    checkClosed();
    charset_ = charset;
}

void ConnectionOptions::setUseUnicode(bool on) {
    if (on == useUnicode_) return;
    checkClosed();
    useUnicode_ = on;
}

void ConnectionOptions::setCompress(bool on) {
    if (on == compress_) return;
    checkClosed();
    compress_ = on;
}

void ConnectionOptions::setTlsMode(TlsMode mode) {
    if (mode == tlsMode_) return;
    checkClosed();
    tlsMode_ = mode;
}

void ConnectionOptions::setTlsCaFile(const std::string& path) {
    if (path == tlsCaFile_) return;
    checkClosed();
    tlsCaFile_ = path;
}

}  // namespace tharvel
