#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "mysql/TMySqlFieldInfo.h"
#include "mysql/TMySqlNet.h"
#include "mysql/TMySqlVioTls.h"

namespace tharvel {

class TMySqlAuth;
class TMySqlResultSet;

// Capability flags of the protocol that this client uses.
enum : uint32_t {
    CLIENT_LONG_PASSWORD = 1,
    CLIENT_FOUND_ROWS = 2,
    CLIENT_LONG_FLAG = 4,
    CLIENT_CONNECT_WITH_DB = 8,
    CLIENT_COMPRESS = 32,
    CLIENT_LOCAL_FILES = 128,
    CLIENT_PROTOCOL_41 = 512,
    CLIENT_SSL = 2048,
    CLIENT_TRANSACTIONS = 8192,
    CLIENT_SECURE_CONNECTION = 32768,
    CLIENT_MULTI_STATEMENTS = 65536,
    CLIENT_MULTI_RESULTS = 131072,
    CLIENT_PLUGIN_AUTH = 524288,
    CLIENT_PLUGIN_AUTH_LENENC_CLIENT_DATA = 2097152,
};

enum : uint16_t {
    SERVER_STATUS_IN_TRANS = 1,
    SERVER_STATUS_AUTOCOMMIT = 2,
    SERVER_MORE_RESULTS_EXISTS = 8,
};

enum : uint8_t { COM_QUIT = 1, COM_INIT_DB = 2, COM_QUERY = 3, COM_PROCESS_KILL = 12, COM_PING = 14 };

// What the server's greeting says.
struct TMySqlGreeting {
    uint8_t Protocol = 0;
    std::string ServerVersion;
    uint32_t ThreadId = 0;
    uint16_t Capabilities = 0;
    // The upper half of the capabilities, sent by 4.1 and later servers.
    uint16_t CapabilitiesHigh = 0;
    uint8_t Language = 0;
    uint16_t Status = 0;
    bool HasStatus = false;
    std::array<uint8_t, 20> Scramble{};
    bool FullScramble = false;
    // The authentication method the scramble is meant for (servers with plugin auth).
    std::string AuthPlugin;

    // Raises the server's error for an error packet, 2007 for a protocol other than 10,
    // 2027 for a truncated greeting.
    static TMySqlGreeting Decode(std::span<const uint8_t> packet);
};

// What an OK packet says.
struct TMySqlOk {
    uint64_t AffectedRows = 0;
    uint64_t InsertId = 0;
    bool HasStatus = false;
    uint16_t ServerStatus = 0;
    bool HasWarnings = false;
    uint16_t Warnings = 0;
    std::string Info;

    // The packet starts with the column count 0.
    static TMySqlOk Decode(std::span<const uint8_t> packet, bool protocol41, bool transactions);
};

// The per-connection state (the handle): login, commands and their replies.
class TMySqlSession {
public:
    static constexpr const char* kClientVersion = "4.1.3 Direct";
    static constexpr uint32_t kLoginFlags = 238213;
    static constexpr uint32_t kMaxPacketSize = 1073741824;
    // What the column definitions of one result may take in memory: a table of
    // thousands of columns with long names needs well under a tenth of it.
    static constexpr size_t kMaxResultMetadata = 4u << 20;

    TMySqlSession() = default;
    TMySqlSession(const TMySqlSession&) = delete;
    TMySqlSession& operator=(const TMySqlSession&) = delete;
    ~TMySqlSession();

    int LastErrno = 0;
    std::string LastError;
    bool Closed = false;
    TMySqlResultSet* CurrentResult = nullptr;
    TMySqlNet Net;
    std::string Host, User, Password, Database;
    std::string ServerVersion;
    std::string HostInfo;
    std::string Info;
    uint32_t ClientFlags = 0;
    int Port = 0;
    int ConnectTimeout = 0;
    int ReadWriteTimeout = 0;
    uint32_t ThreadId = 0;
    uint16_t ServerCapabilities = 0;
    uint16_t ServerCapabilitiesHigh = 0;
    uint16_t ServerStatus = 0;
    uint8_t ServerLanguage = 0;
    uint16_t WarningCount = 0;
    uint8_t Status = 0;
    std::array<uint8_t, 20> Scramble{};
    int Protocol = 0;
    TMySqlFieldInfos PendingColumns;
    bool HasPendingColumns = false;
    uint64_t AffectedRows = 0, InsertId = 0, Extra = 0;
    int64_t FieldCount = 0;
    // Encryption of the channel and the CA file that verification trusts (empty: the
    // system's store).
    TMyTlsMode TlsMode = TMyTlsMode::tlsOff;
    std::string TlsCa;
    // The server's RSA public key (PEM) for sending a password without TLS; asked
    // from the server when empty.
    std::string ServerPublicKey;
    bool Encrypted() const { return encrypted_; }

    // The whole login: channel, greeting, response, password exchanges, compression.
    void Connect(const std::string& host, const std::string& user, const std::string& password,
                 const std::string& database, int port, const std::string& socketName, uint32_t clientFlags);
    // Marks closed, sends quit without awaiting a reply, closes the net; never raises.
    void close();

    // Sends one command; unless awaitReply is off, reads the reply (an error raises).
    void SendCommand(uint8_t command, const void* payload, size_t length, bool awaitReply = true);
    // Reads the answer to a query: an OK packet or a result header with its columns.
    void ReadQueryResult();
    // Skips the unread rows of the open result.
    void DiscardRows();

    bool Protocol41() const;

    // The 20-byte token of the 4.1 login.
    static std::array<uint8_t, 20> Scramble41(std::string_view password,
                                              std::span<const uint8_t, 20> scramble);
    // The 8-character old-style answer followed by a zero byte.
    static std::array<uint8_t, 9> ScrambleOld(std::string_view password, std::span<const uint8_t, 8> seed);
    // The answer of the 24-byte intermediate exchange: 9 bytes (old style) or 20.
    std::string AnswerIntermediate(std::span<const uint8_t> reply);

private:
    void startTls(const std::string& host, uint32_t flags);
    void writeLoginHead(uint32_t flags);
    void authenticate(TMySqlAuth& auth);
    bool encrypted_ = false;
    bool local_ = false;
    void readColumns(int64_t count);
    void refuseLocalFile(const std::string& fileName);
};

}  // namespace tharvel
