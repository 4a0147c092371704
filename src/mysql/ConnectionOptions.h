#pragma once
#include <string>

#include "mysql/TlsTransport.h"

namespace tharvel {

class MySqlConnection;

// Connection options. Those that shape the login cannot change while the connection
// is open: setting them then raises "Cannot perform this operation on an open connection".
class ConnectionOptions {
public:
    explicit ConnectionOptions(const MySqlConnection* owner) : owner_(owner) {}

    // The character set named in "SET NAMES" after login ("utf8" unless changed; empty
    // sends nothing unless useUnicode is on). Letters, digits and '_' only.
    const std::string& charset() const { return charset_; }
    void setCharset(const std::string& charset);
    // On: "SET NAMES utf8" whatever charset says.
    bool useUnicode() const { return useUnicode_; }
    void setUseUnicode(bool on);
    // Negotiates the zlib-compressed protocol when the server offers it.
    bool compress() const { return compress_; }
    void setCompress(bool on);
    // Encryption of the connection (default: when the server offers it) and the CA
    // file that verification trusts (empty: the system's store).
    TlsMode tlsMode() const { return tlsMode_; }
    void setTlsMode(TlsMode mode);
    const std::string& tlsCaFile() const { return tlsCaFile_; }
    void setTlsCaFile(const std::string& path);

private:
    void checkClosed() const;
    const MySqlConnection* owner_;
    std::string charset_ = "utf8";
    bool useUnicode_ = false;
    bool compress_ = false;
    TlsMode tlsMode_ = TlsMode::Preferred;
    std::string tlsCaFile_;
};

}  // namespace tharvel
