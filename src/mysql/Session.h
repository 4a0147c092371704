#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "mysql/FieldInfo.h"
#include "mysql/PacketChannel.h"
#include "mysql/TlsTransport.h"

namespace tharvel {

class Authentication;
class ResultSet;

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

enum : uint8_t { COM_QUIT = 1, COM_INIT_DB = 2, COM_QUERY = 3, COM_PROCESS_KILL = 12 };

// What the server's greeting says.
struct ServerGreeting {
    uint8_t protocol = 0;
    std::string serverVersion;
    uint32_t threadId = 0;
    uint16_t capabilities = 0;
    // The upper half of the capabilities, sent by 4.1 and later servers.
    uint16_t capabilitiesHigh = 0;
    uint8_t language = 0;
    uint16_t status = 0;
    bool hasStatus = false;
    std::array<uint8_t, 20> scramble{};
    bool fullScramble = false;
    // The authentication method the scramble is meant for (servers with plugin auth).
    std::string authPlugin;

    // Raises the server's error for an error packet, 2007 for a protocol other than 10,
    // 2027 for a truncated greeting.
    static ServerGreeting decode(std::span<const uint8_t> packet);
};

// What an OK packet says.
struct OkPacket {
    uint64_t affectedRows = 0;
    uint64_t insertId = 0;
    bool hasStatus = false;
    uint16_t serverStatus = 0;
    bool hasWarnings = false;
    uint16_t warnings = 0;
    std::string info;

    // The packet starts with the column count 0.
    static OkPacket decode(std::span<const uint8_t> packet, bool protocol41, bool transactions);
};

// The protocol state of one login: the login itself, commands and their replies.
class Session {
public:
    static constexpr const char* kClientVersion = "4.1.3 Direct";
    static constexpr uint32_t kLoginFlags = 238213;
    static constexpr uint32_t kMaxPacketSize = 1073741824;
    // What the column definitions of one result may take in memory: a table of
    // thousands of columns with long names needs well under a tenth of it.
    static constexpr size_t kMaxResultMetadata = 4u << 20;

    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();

    bool closed = false;
    // The open result of the last query, which reads its rows from this session.
    ResultSet* currentResult = nullptr;
    PacketChannel net;
    std::string host, user, password, database;
    std::string serverVersion;
    std::string info;
    uint32_t clientFlags = 0;
    int port = 0;
    int connectTimeout = 0;
    int readWriteTimeout = 0;
    uint32_t threadId = 0;
    uint16_t serverCapabilities = 0;
    uint16_t serverCapabilitiesHigh = 0;
    uint16_t serverStatus = 0;
    uint8_t serverLanguage = 0;
    uint16_t warningCount = 0;
    uint8_t status = 0;
    std::array<uint8_t, 20> scramble{};
    FieldInfos pendingColumns;
    bool hasPendingColumns = false;
    uint64_t affectedRows = 0, insertId = 0, extra = 0;
    int64_t fieldCount = 0;
    // Encryption of the channel and the CA file that verification trusts (empty: the
    // system's store).
    TlsMode tlsMode = TlsMode::Off;
    std::string tlsCa;
    // The server's RSA public key (PEM) for sending a password without TLS; asked
    // from the server when empty.
    std::string serverPublicKey;
    bool encrypted() const { return encrypted_; }

    // The whole login over TCP (or the local socket a host path names): channel,
    // greeting, response, password exchanges, compression.
    void connect(const std::string& host, const std::string& user, const std::string& password,
                 const std::string& database, int port, uint32_t clientFlags);
    // Marks closed, sends quit without awaiting a reply, closes the channel and detaches
    // the open result; never raises.
    void close();

    // Sends a query and reads its answer (see readQueryResult).
    void query(std::string_view sql);
    // The result whose columns the last answer announced, now the current one; none
    // when the answer had no rows.
    std::unique_ptr<ResultSet> useResult();
    // Reads the answer of the next statement of a multi-statement text; false when
    // there is none.
    bool nextResult();
    void selectDatabase(const std::string& name);
    void kill(uint32_t id);

    // Sends one command; unless awaitReply is off, reads the reply (an error raises).
    void sendCommand(uint8_t command, const void* payload, size_t length, bool awaitReply = true);
    // Reads the answer to a query: an OK packet or a result header with its columns.
    void readQueryResult();
    // Skips the unread rows of the open result.
    void discardRows();

    bool protocol41() const;

    // The 20-byte token of the 4.1 login.
    static std::array<uint8_t, 20> scramble41(std::string_view password,
                                              std::span<const uint8_t, 20> scramble);
    // The 8-character old-style answer followed by a zero byte.
    static std::array<uint8_t, 9> scrambleOld(std::string_view password, std::span<const uint8_t, 8> seed);
    // The answer of the 24-byte intermediate exchange: 9 bytes (old style) or 20.
    std::string answerIntermediate(std::span<const uint8_t> reply);

private:
    void startTls(const std::string& host, uint32_t flags);
    void writeLoginHead(uint32_t flags);
    void authenticate(Authentication& auth);
    bool encrypted_ = false;
    bool local_ = false;
    void readColumns(int64_t count);
    void refuseLocalFile(const std::string& fileName);
};

}  // namespace tharvel
