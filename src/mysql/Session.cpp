#include "mysql/Session.h"

#include <openssl/evp.h>

#include <cmath>
#include <memory>

#include "mysql/Authentication.h"
#include "mysql/MySqlError.h"
#include "mysql/PacketReader.h"
#include "mysql/ResultSet.h"
#include "mysql/TcpTransport.h"

namespace tharvel {
namespace {

using Digest = std::array<uint8_t, 20>;

Digest sha1(std::initializer_list<std::span<const uint8_t>> parts) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    Digest out{};
    unsigned int n = 0;
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha1(), nullptr) != 1)
        throw MySqlError::client(CR_OUT_OF_MEMORY);
    for (auto part : parts) EVP_DigestUpdate(ctx.get(), part.data(), part.size());
    EVP_DigestFinal_ex(ctx.get(), out.data(), &n);
    return out;
}

std::span<const uint8_t> bytesOf(std::string_view s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// The hash of the old password scheme; only the low 31 bits of each half count.
std::pair<uint32_t, uint32_t> oldHash(std::span<const uint8_t> bytes) {
    uint32_t nr = 1345345333, add = 7, nr2 = 305419889;
    for (uint8_t b : bytes) {
        if (b == ' ' || b == '\t') continue;
        nr ^= (((nr & 63) + add) * b) + (nr << 8);
        nr2 += (nr2 << 8) ^ nr;
        add += b;
    }
    return {nr & 2147483647u, nr2 & 2147483647u};
}

std::string statusDetail(uint8_t status) {
    return "mysql.status = " + std::to_string(status);
}

void uint16At(std::span<const uint8_t> p, size_t at, uint16_t& out) {
    out = static_cast<uint16_t>(p[at] | p[at + 1] << 8);
}

}  // namespace

ServerGreeting ServerGreeting::decode(std::span<const uint8_t> packet) {
    PacketChannel::checkServerError(packet);
    PacketReader r(packet);
    ServerGreeting g;
    g.protocol = r.readByte();
    if (g.protocol != 10) throw MySqlError::client(CR_VERSION_ERROR, {std::to_string(g.protocol), "10"});
    g.serverVersion = r.readZString();
    g.threadId = r.readInt32();
    std::string_view first = r.readView(8);
    std::copy(first.begin(), first.end(), g.scramble.begin());
    size_t base = r.position();
    if (!r.atEnd()) {
        r.skip(1);
        g.capabilities = r.readInt16();
    }
    if (packet.size() - base >= 18) {
        g.language = r.readByte();
        g.status = r.readInt16();
        g.hasStatus = true;
        g.capabilitiesHigh = r.readInt16();
        r.skip(std::min<size_t>(11, r.remaining()));
    }
    if (packet.size() - base >= 30 && r.remaining() >= 12) {
        std::string_view rest = r.readView(12);
        std::copy(rest.begin(), rest.end(), g.scramble.begin() + 8);
        g.fullScramble = true;
        // The scramble's closing zero byte, then the method's name.
        if ((g.capabilitiesHigh << 16) & CLIENT_PLUGIN_AUTH && !r.atEnd()) {
            if (r.readByte() == 0) g.authPlugin = r.readZString().substr(0, 64);
        }
    }
    return g;
}

OkPacket OkPacket::decode(std::span<const uint8_t> packet, bool protocol41, bool transactions) {
    PacketReader r(packet);
    r.readLengthCoded();
    OkPacket ok;
    ok.affectedRows = static_cast<uint64_t>(r.readLengthCoded());
    ok.insertId = static_cast<uint64_t>(r.readLengthCoded());
    if ((protocol41 || transactions) && r.remaining() >= 2) {
        ok.serverStatus = r.readInt16();
        ok.hasStatus = true;
    }
    if (protocol41 && r.remaining() >= 2) {
        ok.warnings = r.readInt16();
        ok.hasWarnings = true;
    }
    ok.info = r.readZString();
    return ok;
}

Session::~Session() {
    close();
}

bool Session::protocol41() const {
    return (serverCapabilities & CLIENT_PROTOCOL_41) && (clientFlags & CLIENT_PROTOCOL_41);
}

std::array<uint8_t, 20> Session::scramble41(std::string_view password,
                                            std::span<const uint8_t, 20> scramble) {
    Digest stage1 = sha1({bytesOf(password)});
    Digest stage2 = sha1({stage1});
    Digest mix = sha1({scramble, stage2});
    for (size_t i = 0; i < 20; ++i) stage1[i] ^= mix[i];
    return stage1;
}

std::array<uint8_t, 9> Session::scrambleOld(std::string_view password, std::span<const uint8_t, 8> seed) {
    auto [hp1, hp2] = oldHash(bytesOf(password));
    auto [hm1, hm2] = oldHash(seed);
    const uint64_t max = 1073741823;
    uint64_t seed1 = (hp1 ^ hm1) % max;
    uint64_t seed2 = (hp2 ^ hm2) % max;
    auto next = [&] {
        seed1 = (seed1 * 3 + seed2) % max;
        seed2 = (seed1 + seed2 + 33) % max;
        return static_cast<double>(seed1) / static_cast<double>(max);
    };
    std::array<uint8_t, 9> out{};
    for (size_t i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(std::floor(next() * 31) + 64);
    uint8_t extra = static_cast<uint8_t>(std::floor(next() * 31));
    for (size_t i = 0; i < 8; ++i) out[i] ^= extra;
    out[8] = 0;
    return out;
}

std::string Session::answerIntermediate(std::span<const uint8_t> reply) {
    if (reply[0] == '*') {
        std::copy(reply.begin() + 4, reply.begin() + 24, scramble.begin());
        auto answer = scrambleOld(password, std::span<const uint8_t, 8>(scramble.data(), 8));
        return std::string(answer.begin(), answer.end());
    }
    std::string stripped;
    for (char c : password)
        if (c != ' ' && c != '\t') stripped += c;
    Digest h = sha1({bytesOf(stripped)});
    Digest s = sha1({reply.subspan(0, 4), h});
    std::string answer(20, '\0');
    for (size_t i = 0; i < 20; ++i) {
        scramble[i] = reply[4 + i] ^ s[i];
        answer[i] = static_cast<char>(scramble[i] ^ h[i]);
    }
    return answer;
}

void Session::connect(const std::string& hostIn, const std::string& userIn, const std::string& passwordIn,
                      const std::string& databaseIn, int portIn, uint32_t requestedFlags) {
    std::string host = hostIn.empty() ? "localhost" : hostIn;
    const std::string& user = userIn;
    const std::string& password = passwordIn;
    const std::string& database = databaseIn;
    int port = portIn == 0 ? 3306 : portIn;
    this->user = user;
    this->password = password;
    serverStatus = SERVER_STATUS_AUTOCOMMIT;
    net.setCompress(false);
    net.resetSequence();
    encrypted_ = false;
    // A path names the server's local socket.
    local_ = host.front() == '/';
    net.setChannel(std::make_unique<TcpTransport>(host, port));
    Transport* channel = net.channel();
    channel->setTimeout(connectTimeout);
    try {
        channel->connect();
    } catch (const std::exception&) {
        throw MySqlError::client(CR_CONN_HOST_ERROR, {host, "10061"}, channel->lastError());
    }

    net.readPacket();
    ServerGreeting greeting = ServerGreeting::decode(net.packet());
    serverVersion = greeting.serverVersion;
    threadId = greeting.threadId;
    serverCapabilities = greeting.capabilities;
    serverCapabilitiesHigh = greeting.capabilitiesHigh;
    serverLanguage = greeting.language;
    if (greeting.hasStatus) serverStatus = greeting.status;
    scramble = greeting.scramble;
    this->host = host;
    this->port = port;

    bool serverTls = serverCapabilities & CLIENT_SSL;
    bool useTls = tlsMode != TlsMode::Off && serverTls;
    if (tlsMode >= TlsMode::Required && !serverTls)
        throw MySqlError::clientDetail(CR_SSL_CONNECTION_ERROR,
                                       "The server does not offer encrypted connections");
    // Servers with plugin authentication are told which method the answer is for, so
    // they can switch to the account's own.
    bool pluginAuth = ((serverCapabilitiesHigh << 16) & CLIENT_PLUGIN_AUTH) && greeting.fullScramble;

    uint32_t flags = requestedFlags;
    if (flags & CLIENT_MULTI_STATEMENTS) flags |= CLIENT_MULTI_RESULTS;
    flags |= clientFlags | kLoginFlags | CLIENT_CONNECT_WITH_DB;
    for (uint32_t kept : {CLIENT_COMPRESS, CLIENT_PROTOCOL_41, CLIENT_SSL})
        if (!(serverCapabilities & kept)) flags &= ~kept;
    flags &= ~(CLIENT_SSL | CLIENT_PLUGIN_AUTH);
    if (useTls) flags |= CLIENT_SSL;
    if (pluginAuth) flags |= CLIENT_PLUGIN_AUTH;

    if (useTls) startTls(host, flags);

    // The greeting's 20-byte scramble serves the methods that take one; for any other
    // the server switches after a native answer.
    std::string method(Authentication::kNative);
    if (greeting.authPlugin == Authentication::kCachingSha2 || greeting.authPlugin == Authentication::kSha256)
        method = greeting.authPlugin;
    Authentication auth(password, encrypted_ || local_, serverPublicKey);
    std::string answer;
    if (pluginAuth) {
        answer = auth.start(method, scramble);
        // An RSA-encrypted password needs more than a one-byte length.
        if (answer.size() > 250 && ((serverCapabilitiesHigh << 16) & CLIENT_PLUGIN_AUTH_LENENC_CLIENT_DATA))
            flags |= CLIENT_PLUGIN_AUTH_LENENC_CLIENT_DATA;
        else if (answer.size() > 250)
            throw MySqlError::clientDetail(CR_SERVER_HANDSHAKE_ERR, "Authentication answer too long");
    }
    writeLoginHead(flags);
    clientFlags = flags;
    net.writeZString(user);
    // The zero byte that ends the last field is dropped, but only behind a non-empty
    // text: a token has none, and current servers need the byte of an empty field.
    bool dropTerminator = false;
    if (pluginAuth) {
        net.writeLengthCoded(answer.size());
        net.writeBytes(answer.data(), answer.size());
    } else if (serverCapabilities & CLIENT_SECURE_CONNECTION) {
        if (password.empty()) {
            net.writeByte(0);
        } else if (greeting.fullScramble) {
            auto token = scramble41(password, scramble);
            net.writeByte(20);
            net.writeBytes(token.data(), token.size());
        } else {
            net.writeRepeated('x', 8);
            net.writeByte(0);
            dropTerminator = true;
        }
    } else if (!password.empty()) {
        auto answer = scrambleOld(password, std::span<const uint8_t, 8>(scramble.data(), 8));
        net.writeBytes(answer.data(), answer.size());
        dropTerminator = true;
    } else {
        net.writeByte(0);
    }
    if (pluginAuth) {
        net.writeZString(database);
        this->database = database;
        net.writeZString(method);
    } else if (serverCapabilities & CLIENT_CONNECT_WITH_DB) {
        net.writeZString(database);
        this->database = database;
        dropTerminator = !database.empty();
    }
    if (dropTerminator) net.removeLastByte();
    net.sendPacket();

    net.readPacket();
    if (serverCapabilities & CLIENT_SECURE_CONNECTION) {
        auto reply = net.packet();
        if (reply.size() == 1 && reply[0] == 254) {
            auto answer = scrambleOld(password, std::span<const uint8_t, 8>(scramble.data(), 8));
            net.beginPacket();
            net.writeBytes(answer.data(), answer.size());
            net.sendPacket();
            net.readPacket();
        } else if (reply.size() == 24 && reply[0] != 0 && !(pluginAuth && reply[0] == 254)) {
            std::string answer = answerIntermediate(reply);
            net.beginPacket();
            net.writeBytes(answer.data(), answer.size());
            net.sendPacket();
            net.readPacket();
        }
    }
    authenticate(auth);
    OkPacket ok = OkPacket::decode(net.packet(), protocol41(), serverCapabilities & CLIENT_TRANSACTIONS);
    if (ok.hasStatus) serverStatus = ok.serverStatus;
    net.setCompress(flags & CLIENT_COMPRESS);
    status = 0;
}

void Session::writeLoginHead(uint32_t flags) {
    net.beginPacket();
    if (flags & CLIENT_PROTOCOL_41) {
        net.writeInt32(flags);
        net.writeInt32(kMaxPacketSize);
        net.writeByte(8);
        net.writeRepeated(0, 23);
    } else {
        net.writeInt16(flags & 0xFFFF);
        net.writeInt24(kMaxPacketSize & 0xFFFF);
    }
}

// The head of the login response alone asks for TLS; the rest of the login then
// travels encrypted.
void Session::startTls(const std::string& host, uint32_t flags) {
    writeLoginHead(flags);
    net.sendPacket();
    auto tls = std::make_unique<TlsTransport>(net.releaseChannel(), tlsMode, host, tlsCa);
    TlsTransport* channel = tls.get();
    net.setChannel(std::move(tls));
    channel->connect();
    encrypted_ = true;
}

// The rounds after the login response, up to the server's OK: method switches and
// the methods' own further exchanges. A server that never ends them is cut off.
void Session::authenticate(Authentication& auth) {
    std::vector<uint8_t> kept;
    for (int round = 0;; ++round) {
        auto reply = net.packet();
        if (!reply.empty() && reply[0] == 0) return;
        if (round == 16)
            throw MySqlError::clientDetail(CR_SERVER_HANDSHAKE_ERR, "Too many authentication rounds");
        std::string answer;
        bool nothing = false;
        if (reply.size() > 1 && reply[0] == 254) {
            PacketReader r(reply, 1);
            std::string name = r.readZString();
            kept.assign(reply.begin() + static_cast<std::ptrdiff_t>(r.position()), reply.end());
            answer = auth.start(name, kept);
        } else if (reply.size() > 1 && reply[0] == 1 && !auth.method().empty()) {
            answer = auth.answerMoreData(reply.subspan(1), nothing);
        } else {
            throw MySqlError::clientDetail(CR_SERVER_HANDSHAKE_ERR, "Unexpected reply to the login");
        }
        if (!nothing) {
            net.beginPacket();
            if (answer.empty())
                net.sendEmptyPacket();
            else {
                net.writeBytes(answer.data(), answer.size());
                net.sendPacket();
            }
        }
        net.readPacket();
    }
}

void Session::close() {
    // A thread reading rows ahead must be done with the channel before it closes.
    if (currentResult) {
        try {
            currentResult->stopReadAhead();
        } catch (...) {
        }
    }
    if (!closed) {
        closed = true;
        status = 0;
        try {
            sendCommand(COM_QUIT, nullptr, 0, false);
        } catch (...) {
        }
        try {
            net.close();
        } catch (...) {
        }
    }
    if (currentResult) currentResult->detach();
    currentResult = nullptr;
}

void Session::query(std::string_view sql) {
    sendCommand(COM_QUERY, sql.data(), sql.size(), false);
    readQueryResult();
}

std::unique_ptr<ResultSet> Session::useResult() {
    if (!hasPendingColumns) return nullptr;
    if (status != 1) throw MySqlError::clientDetail(CR_COMMANDS_OUT_OF_SYNC, statusDetail(status));
    // Columns are handed up with the underlying name defaulted and a display length
    // of at most 65535.
    for (FieldInfo& f : pendingColumns) {
        if (f.orgName.empty()) f.orgName = f.name;
        if (f.length > 65535) f.length = 65535;
    }
    auto result = std::make_unique<ResultSet>(this, std::move(pendingColumns));
    pendingColumns.clear();
    hasPendingColumns = false;
    currentResult = result.get();
    status = 2;
    return result;
}

bool Session::nextResult() {
    if (status != 0) throw MySqlError::clientDetail(CR_COMMANDS_OUT_OF_SYNC, statusDetail(status));
    affectedRows = static_cast<uint64_t>(-1);
    if (!(serverStatus & SERVER_MORE_RESULTS_EXISTS)) return false;
    readQueryResult();
    return true;
}

void Session::selectDatabase(const std::string& name) {
    sendCommand(COM_INIT_DB, name.data(), name.size());
    database = name;
}

void Session::kill(uint32_t id) {
    uint8_t bytes[4] = {static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8),
                        static_cast<uint8_t>(id >> 16), static_cast<uint8_t>(id >> 24)};
    sendCommand(COM_PROCESS_KILL, bytes, 4);
}

void Session::sendCommand(uint8_t command, const void* payload, size_t length, bool awaitReply) {
    if (!net.channel()) return;
    net.channel()->setTimeout(readWriteTimeout);
    if (status != 0) throw MySqlError::client(CR_COMMANDS_OUT_OF_SYNC);
    info.clear();
    affectedRows = 0;
    net.resetSequence();
    net.writeByte(command);
    if (length) net.writeBytes(payload, length);
    net.sendPacket();
    if (awaitReply) net.readPacket();
}

void Session::readQueryResult() {
    serverStatus = SERVER_STATUS_AUTOCOMMIT;
    net.readPacket();
    PacketReader r(net.packet());
    int64_t count = r.readLengthCoded();
    fieldCount = count;
    if (count == 0) {
        OkPacket ok = OkPacket::decode(net.packet(), protocol41(), serverCapabilities & CLIENT_TRANSACTIONS);
        affectedRows = ok.affectedRows;
        insertId = ok.insertId;
        if (ok.hasStatus) serverStatus = ok.serverStatus;
        if (ok.hasWarnings) warningCount = ok.warnings;
        info = ok.info;
        return;
    }
    if (count == -1) {
        refuseLocalFile(r.readZString());
        return;
    }
    if (!(serverStatus & SERVER_STATUS_AUTOCOMMIT)) serverStatus |= SERVER_STATUS_IN_TRANS;
    if (!r.atEnd()) extra = static_cast<uint64_t>(r.readLengthCoded());
    readColumns(count);
    status = 1;
    warningCount = 0;
}

// This program never asks for a local file, so a request for one comes from a server
// that should not get it: end the exchange without any content.
void Session::refuseLocalFile(const std::string& fileName) {
    fieldCount = 0;
    net.beginPacket();
    net.sendEmptyPacket();
    net.readPacket();
    auto reply = net.packet();
    if (!reply.empty() && reply[0] == 0) {
        OkPacket ok = OkPacket::decode(reply, protocol41(), serverCapabilities & CLIENT_TRANSACTIONS);
        affectedRows = ok.affectedRows;
        if (ok.hasStatus) serverStatus = ok.serverStatus;
    }
    throw MySqlError::clientDetail(CR_UNKNOWN_ERROR, "The server asked for the local file '" +
                                                         fileName.substr(0, 256) +
                                                         "'; this program never sends local files");
}

void Session::readColumns(int64_t count) {
    if (count < 0 || count > 65535) throw MySqlError::malformed("Column count " + std::to_string(count));
    // Each definition is decoded as it arrives, and all of them together may take
    // kMaxResultMetadata: a server cannot make one result's columns fill the memory.
    const std::string tooLarge = "The column definitions of one result take more than " +
                                 std::to_string(kMaxResultMetadata >> 20) + " MiB";
    FieldInfos columns;
    size_t budget = kMaxResultMetadata;
    bool p41 = protocol41();
    for (;;) {
        std::vector<uint8_t> packet = net.receiveBuffer(budget + 8, tooLarge);  // room for the end marker
        if (packet.size() < 8 && packet[0] == 254) {
            if (packet.size() >= 5) {
                uint16At(packet, 1, warningCount);
                uint16At(packet, 3, serverStatus);
            }
            break;
        }
        if (columns.size() == static_cast<size_t>(count))
            throw MySqlError::malformed("More column definitions than columns");
        size_t cost = packet.size() + sizeof(FieldInfo);
        if (cost > budget) throw MySqlError::malformed(tooLarge);
        budget -= cost;
        columns.push_back(p41 ? FieldInfo::decode41(packet)
                              : FieldInfo::decodeOld(packet, serverCapabilities & CLIENT_LONG_FLAG));
    }
    if (columns.size() != static_cast<size_t>(count))
        throw MySqlError::malformed("Fewer column definitions than columns");
    pendingColumns = std::move(columns);
    hasPendingColumns = true;
}

void Session::discardRows() {
    struct StatusToZero {
        uint8_t& s;
        ~StatusToZero() { s = 0; }
    } reset{status};
    std::vector<uint8_t> piece;
    bool continuation = false;
    for (;;) {
        size_t n = net.readPacketChunked(piece, 65536, !continuation);
        if (!continuation && n > 0 && n <= 8 && piece[0] == 254) {
            if (n >= 5) {
                uint16At(piece, 1, warningCount);
                uint16At(piece, 3, serverStatus);
            }
            return;
        }
        continuation = n == PacketChannel::kMaxPacket;
    }
}

}  // namespace tharvel
