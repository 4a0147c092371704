#pragma once
#include <string>

#include "mysql/TMyConnectionOptions.h"

namespace tharvel {

class TMySqlSession;
class TMySQLAPIDirect;

// The connection behind a TMyConnection: copies of its settings, the handle of the
// client API while open, and the version of the server.
class TMySQLConnection {
public:
    TMySQLConnection();
    ~TMySQLConnection();
    TMySQLConnection(const TMySQLConnection&) = delete;
    TMySQLConnection& operator=(const TMySQLConnection&) = delete;

    int ConnectionTimeout = 15;
    std::string Server, Username, Password, Database;
    int Port = 3306;
    bool Compress = false;
    bool UseUnicode = false;
    std::string Charset;
    TMyProtocol Protocol = TMyProtocol::mpDefault;
    TMyTlsMode TlsMode = TMyTlsMode::tlsPreferred;
    std::string TlsCaFile;

    // Login and "SET NAMES"; on failure closes the handle and throws EMyError (or the
    // conversion error of a malformed server version).
    void Connect();
    // Quit and close; never throws.
    void Disconnect();
    void MarkBroken() { broken_ = true; }

    bool Connected() const { return connected_; }
    TMySqlSession* Handle() const { return handle_; }
    TMySQLAPIDirect& Api() const { return api_; }
    const std::string& ServerVersionText() const { return serverVersion_; }
    int ServerMajor() const { return major_; }
    int ServerMinor() const { return minor_; }
    int ServerRelease() const { return release_; }
    const std::string& ClientVersionText() const { return clientVersion_; }

    // Parses "major.minor.release..." into its three numbers; a part that is not a
    // number raises "'%s' is not a valid integer value".
    static void ParseVersion(const std::string& text, int& major, int& minor, int& release);

private:
    TMySQLAPIDirect& api_;
    TMySqlSession* handle_ = nullptr;
    bool connected_ = false;
    bool broken_ = false;
    std::string serverVersion_;
    std::string clientVersion_;
    int major_ = 0, minor_ = 0, release_ = 0;
};

}  // namespace tharvel
