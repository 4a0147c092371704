#pragma once
#include <string>

#include "mysql/TMySqlVioTls.h"

namespace tharvel {

class TMyConnection;

enum class TMyProtocol { mpDefault, mpTCP, mpSocket, mpPipe, mpMemory, mpSSL };

// Connection options. Those that shape the login cannot change while the connection
// is open: setting them then raises "Cannot perform this operation on an open connection".
class TMyConnectionOptions {
public:
    explicit TMyConnectionOptions(const TMyConnection* owner) : owner_(owner) {}

    // The character set named in "SET NAMES" after login ("utf8" unless changed; empty
    // sends nothing unless UseUnicode is on). Letters, digits and '_' only.
    const std::string& Charset() const { return charset_; }
    void SetCharset(const std::string& charset);
    // On: "SET NAMES utf8" whatever Charset says.
    bool UseUnicode() const { return useUnicode_; }
    void SetUseUnicode(bool on);
    // Negotiates the zlib-compressed protocol when the server offers it.
    bool Compress() const { return compress_; }
    void SetCompress(bool on);
    TMyProtocol Protocol() const { return protocol_; }
    void SetProtocol(TMyProtocol protocol);
    bool Direct() const { return direct_; }
    void SetDirect(bool on);
    bool Embedded() const { return embedded_; }
    void SetEmbedded(bool on);
    bool OptimizedBigInt() const { return optimizedBigInt_; }
    void SetOptimizedBigInt(bool on);
    // Off: EndUse never closes the connection.
    bool DisconnectedMode() const { return disconnectedMode_; }
    void SetDisconnectedMode(bool on) { disconnectedMode_ = on; }
    // Encryption of the connection (default: when the server offers it) and the CA
    // file that verification trusts (empty: the system's store).
    TMyTlsMode TlsMode() const { return tlsMode_; }
    void SetTlsMode(TMyTlsMode mode);
    const std::string& TlsCaFile() const { return tlsCaFile_; }
    void SetTlsCaFile(const std::string& path);
    bool LocalFailover() const { return localFailover_; }
    void SetLocalFailover(bool on) { localFailover_ = on; }

private:
    void checkClosed() const;
    const TMyConnection* owner_;
    std::string charset_ = "utf8";
    bool useUnicode_ = false;
    bool compress_ = false;
    TMyProtocol protocol_ = TMyProtocol::mpDefault;
    bool direct_ = true;
    bool embedded_ = false;
    bool optimizedBigInt_ = false;
    bool disconnectedMode_ = false;
    bool localFailover_ = false;
    TMyTlsMode tlsMode_ = TMyTlsMode::tlsPreferred;
    std::string tlsCaFile_;
};

}  // namespace tharvel
