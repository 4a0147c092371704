#include "mysql/TMySqlSession.h"

#include <openssl/evp.h>

#include <cmath>
#include <memory>

#include "mysql/EMySqlException.h"
#include "mysql/TMySqlAuth.h"
#include "mysql/TMySqlPacketReader.h"
#include "mysql/TMySqlResultSet.h"
#include "mysql/TMySqlVioTcp.h"

namespace tharvel {
namespace {

using Digest = std::array<uint8_t, 20>;

Digest sha1(std::initializer_list<std::span<const uint8_t>> parts) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    Digest out{};
    unsigned int n = 0;
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha1(), nullptr) != 1)
        throw EMySqlException::Client(CR_OUT_OF_MEMORY);
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

void uint16At(std::span<const uint8_t> p, size_t at, uint16_t& out) {
    out = static_cast<uint16_t>(p[at] | p[at + 1] << 8);
}

}  // namespace

TMySqlGreeting TMySqlGreeting::Decode(std::span<const uint8_t> packet) {
    TMySqlNet::CheckServerError(packet);
    TMySqlPacketReader r(packet);
    TMySqlGreeting g;
    g.Protocol = r.ReadByte();
    if (g.Protocol != 10) throw EMySqlException::Client(CR_VERSION_ERROR, {std::to_string(g.Protocol), "10"});
    g.ServerVersion = r.ReadZString();
    g.ThreadId = r.ReadInt32();
    std::string_view first = r.ReadView(8);
    std::copy(first.begin(), first.end(), g.Scramble.begin());
    size_t base = r.Position();
    if (!r.AtEnd()) {
        r.Skip(1);
        g.Capabilities = r.ReadInt16();
    }
    if (packet.size() - base >= 18) {
        g.Language = r.ReadByte();
        g.Status = r.ReadInt16();
        g.HasStatus = true;
        g.CapabilitiesHigh = r.ReadInt16();
        r.Skip(std::min<size_t>(11, r.Remaining()));
    }
    if (packet.size() - base >= 30 && r.Remaining() >= 12) {
        std::string_view rest = r.ReadView(12);
        std::copy(rest.begin(), rest.end(), g.Scramble.begin() + 8);
        g.FullScramble = true;
        // The scramble's closing zero byte, then the method's name.
        if ((g.CapabilitiesHigh << 16) & CLIENT_PLUGIN_AUTH && !r.AtEnd()) {
            if (r.ReadByte() == 0) g.AuthPlugin = r.ReadZString().substr(0, 64);
        }
    }
    return g;
}

TMySqlOk TMySqlOk::Decode(std::span<const uint8_t> packet, bool protocol41, bool transactions) {
    TMySqlPacketReader r(packet);
    r.ReadLengthCoded();
    TMySqlOk ok;
    ok.AffectedRows = static_cast<uint64_t>(r.ReadLengthCoded());
    ok.InsertId = static_cast<uint64_t>(r.ReadLengthCoded());
    if ((protocol41 || transactions) && r.Remaining() >= 2) {
        ok.ServerStatus = r.ReadInt16();
        ok.HasStatus = true;
    }
    if (protocol41 && r.Remaining() >= 2) {
        ok.Warnings = r.ReadInt16();
        ok.HasWarnings = true;
    }
    ok.Info = r.ReadZString();
    return ok;
}

TMySqlSession::~TMySqlSession() {
    close();
}

bool TMySqlSession::Protocol41() const {
    return (ServerCapabilities & CLIENT_PROTOCOL_41) && (ClientFlags & CLIENT_PROTOCOL_41);
}

std::array<uint8_t, 20> TMySqlSession::Scramble41(std::string_view password,
                                                  std::span<const uint8_t, 20> scramble) {
    Digest stage1 = sha1({bytesOf(password)});
    Digest stage2 = sha1({stage1});
    Digest mix = sha1({scramble, stage2});
    for (size_t i = 0; i < 20; ++i) stage1[i] ^= mix[i];
    return stage1;
}

std::array<uint8_t, 9> TMySqlSession::ScrambleOld(std::string_view password,
                                                  std::span<const uint8_t, 8> seed) {
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

std::string TMySqlSession::AnswerIntermediate(std::span<const uint8_t> reply) {
    if (reply[0] == '*') {
        std::copy(reply.begin() + 4, reply.begin() + 24, Scramble.begin());
        auto answer = ScrambleOld(Password, std::span<const uint8_t, 8>(Scramble.data(), 8));
        return std::string(answer.begin(), answer.end());
    }
    std::string stripped;
    for (char c : Password)
        if (c != ' ' && c != '\t') stripped += c;
    Digest h = sha1({bytesOf(stripped)});
    Digest s = sha1({reply.subspan(0, 4), h});
    std::string answer(20, '\0');
    for (size_t i = 0; i < 20; ++i) {
        Scramble[i] = reply[4 + i] ^ s[i];
        answer[i] = static_cast<char>(Scramble[i] ^ h[i]);
    }
    return answer;
}

void TMySqlSession::Connect(const std::string& hostIn, const std::string& userIn,
                            const std::string& passwordIn, const std::string& databaseIn, int portIn,
                            const std::string& /*socketName*/, uint32_t clientFlags) {
    std::string host = hostIn.empty() ? Host : hostIn;
    std::string user = userIn.empty() ? User : userIn;
    std::string password = passwordIn.empty() ? Password : passwordIn;
    std::string database = databaseIn.empty() ? Database : databaseIn;
    int port = portIn == 0 ? Port : portIn;
    User = user;
    Password = password;
    ServerStatus = SERVER_STATUS_AUTOCOMMIT;
    Net.SetCompress(false);
    Net.ResetSequence();
    encrypted_ = false;
    local_ = false;

    TMyTlsMode tlsMode = TlsMode;
    if (Protocol == 0 || Protocol == 1 || Protocol == 5) {
        if (port == 0) port = 3306;
        if (host.empty()) host = "localhost";
        // A path names the server's local socket.
        local_ = host.front() == '/';
        Net.SetChannel(std::make_unique<TMySqlVioTcp>(host, port));
        HostInfo = local_ ? EMySqlException::ClientErrorText(2010) : host + " via TCP/IP";
        if (Protocol == 5) {
            HostInfo = host + " via SSL";
            if (tlsMode < TMyTlsMode::tlsRequired) tlsMode = TMyTlsMode::tlsRequired;
        }
    } else if (Protocol == 3) {
        throw EMySqlException::ClientDetail(CR_UNKNOWN_PROTOCOL,
                                            "The named-pipe channel does not exist on this system; use TCP");
    } else if (!Net.Channel()) {
        throw EMySqlException::Client(CR_UNKNOWN_PROTOCOL);
    }
    TMySqlVio* channel = Net.Channel();
    channel->SetTimeout(ConnectTimeout);
    try {
        channel->Connect();
    } catch (const std::exception&) {
        throw EMySqlException::Client(CR_CONN_HOST_ERROR, {host, "10061"}, channel->lastError());
    }

    Net.ReadPacket();
    TMySqlGreeting greeting = TMySqlGreeting::Decode(Net.Packet());
    ServerVersion = greeting.ServerVersion;
    ThreadId = greeting.ThreadId;
    ServerCapabilities = greeting.Capabilities;
    ServerCapabilitiesHigh = greeting.CapabilitiesHigh;
    ServerLanguage = greeting.Language;
    if (greeting.HasStatus) ServerStatus = greeting.Status;
    Scramble = greeting.Scramble;
    Host = host;
    Port = port;

    bool serverTls = ServerCapabilities & CLIENT_SSL;
    bool useTls = tlsMode != TMyTlsMode::tlsOff && serverTls;
    if (tlsMode >= TMyTlsMode::tlsRequired && !serverTls)
        throw EMySqlException::ClientDetail(CR_SSL_CONNECTION_ERROR,
                                            "The server does not offer encrypted connections");
    // Servers with plugin authentication are told which method the answer is for, so
    // they can switch to the account's own.
    bool pluginAuth = ((ServerCapabilitiesHigh << 16) & CLIENT_PLUGIN_AUTH) && greeting.FullScramble;

    uint32_t flags = clientFlags;
    if (flags & CLIENT_MULTI_STATEMENTS) flags |= CLIENT_MULTI_RESULTS;
    flags |= ClientFlags | kLoginFlags | CLIENT_CONNECT_WITH_DB;
    for (uint32_t kept : {CLIENT_COMPRESS, CLIENT_PROTOCOL_41, CLIENT_SSL})
        if (!(ServerCapabilities & kept)) flags &= ~kept;
    flags &= ~(CLIENT_SSL | CLIENT_PLUGIN_AUTH);
    if (useTls) flags |= CLIENT_SSL;
    if (pluginAuth) flags |= CLIENT_PLUGIN_AUTH;

    if (useTls) startTls(host, flags);

    // The greeting's 20-byte scramble serves the methods that take one; for any other
    // the server switches after a native answer.
    std::string method(TMySqlAuth::kNative);
    if (greeting.AuthPlugin == TMySqlAuth::kCachingSha2 || greeting.AuthPlugin == TMySqlAuth::kSha256)
        method = greeting.AuthPlugin;
    TMySqlAuth auth(password, encrypted_ || local_, ServerPublicKey);
    std::string answer;
    if (pluginAuth) {
        answer = auth.start(method, Scramble);
        // An RSA-encrypted password needs more than a one-byte length.
        if (answer.size() > 250 && ((ServerCapabilitiesHigh << 16) & CLIENT_PLUGIN_AUTH_LENENC_CLIENT_DATA))
            flags |= CLIENT_PLUGIN_AUTH_LENENC_CLIENT_DATA;
        else if (answer.size() > 250)
            throw EMySqlException::ClientDetail(CR_SERVER_HANDSHAKE_ERR, "Authentication answer too long");
    }
    writeLoginHead(flags);
    ClientFlags = flags;
    Net.WriteZString(user);
    // The zero byte that ends the last field is dropped, but only behind a non-empty
    // text: a token has none, and current servers need the byte of an empty field.
    bool dropTerminator = false;
    if (pluginAuth) {
        Net.WriteLengthCoded(answer.size());
        Net.WriteBytes(answer.data(), answer.size());
    } else if (ServerCapabilities & CLIENT_SECURE_CONNECTION) {
        if (password.empty()) {
            Net.WriteByte(0);
        } else if (greeting.FullScramble) {
            auto token = Scramble41(password, Scramble);
            Net.WriteByte(20);
            Net.WriteBytes(token.data(), token.size());
        } else {
            Net.WriteRepeated('x', 8);
            Net.WriteByte(0);
            dropTerminator = true;
        }
    } else if (!password.empty()) {
        auto answer = ScrambleOld(password, std::span<const uint8_t, 8>(Scramble.data(), 8));
        Net.WriteBytes(answer.data(), answer.size());
        dropTerminator = true;
    } else {
        Net.WriteByte(0);
    }
    if (pluginAuth) {
        Net.WriteZString(database);
        Database = database;
        Net.WriteZString(method);
    } else if (ServerCapabilities & CLIENT_CONNECT_WITH_DB) {
        Net.WriteZString(database);
        Database = database;
        dropTerminator = !database.empty();
    }
    if (dropTerminator) Net.RemoveLastByte();
    Net.SendPacket();

    Net.ReadPacket();
    if (ServerCapabilities & CLIENT_SECURE_CONNECTION) {
        auto reply = Net.Packet();
        if (reply.size() == 1 && reply[0] == 254) {
            auto answer = ScrambleOld(password, std::span<const uint8_t, 8>(Scramble.data(), 8));
            Net.BeginPacket();
            Net.WriteBytes(answer.data(), answer.size());
            Net.SendPacket();
            Net.ReadPacket();
        } else if (reply.size() == 24 && reply[0] != 0 && !(pluginAuth && reply[0] == 254)) {
            std::string answer = AnswerIntermediate(reply);
            Net.BeginPacket();
            Net.WriteBytes(answer.data(), answer.size());
            Net.SendPacket();
            Net.ReadPacket();
        }
    }
    authenticate(auth);
    TMySqlOk ok = TMySqlOk::Decode(Net.Packet(), Protocol41(), ServerCapabilities & CLIENT_TRANSACTIONS);
    if (ok.HasStatus) ServerStatus = ok.ServerStatus;
    Net.SetCompress(flags & CLIENT_COMPRESS);
    Status = 0;
}

void TMySqlSession::writeLoginHead(uint32_t flags) {
    Net.BeginPacket();
    if (flags & CLIENT_PROTOCOL_41) {
        Net.WriteInt32(flags);
        Net.WriteInt32(kMaxPacketSize);
        Net.WriteByte(8);
        Net.WriteRepeated(0, 23);
    } else {
        Net.WriteInt16(flags & 0xFFFF);
        Net.WriteInt24(kMaxPacketSize & 0xFFFF);
    }
}

// The head of the login response alone asks for TLS; the rest of the login then
// travels encrypted.
void TMySqlSession::startTls(const std::string& host, uint32_t flags) {
    writeLoginHead(flags);
    Net.SendPacket();
    auto tls = std::make_unique<TMySqlVioTls>(Net.ReleaseChannel(), TlsMode, host, TlsCa);
    TMySqlVioTls* channel = tls.get();
    Net.SetChannel(std::move(tls));
    channel->Connect();
    encrypted_ = true;
}

// The rounds after the login response, up to the server's OK: method switches and
// the methods' own further exchanges. A server that never ends them is cut off.
void TMySqlSession::authenticate(TMySqlAuth& auth) {
    std::vector<uint8_t> kept;
    for (int round = 0;; ++round) {
        auto reply = Net.Packet();
        if (!reply.empty() && reply[0] == 0) return;
        if (round == 16)
            throw EMySqlException::ClientDetail(CR_SERVER_HANDSHAKE_ERR, "Too many authentication rounds");
        std::string answer;
        bool nothing = false;
        if (reply.size() > 1 && reply[0] == 254) {
            TMySqlPacketReader r(reply, 1);
            std::string name = r.ReadZString();
            kept.assign(reply.begin() + static_cast<std::ptrdiff_t>(r.Position()), reply.end());
            answer = auth.start(name, kept);
        } else if (reply.size() > 1 && reply[0] == 1 && !auth.Method().empty()) {
            answer = auth.Continue(reply.subspan(1), nothing);
        } else {
            throw EMySqlException::ClientDetail(CR_SERVER_HANDSHAKE_ERR, "Unexpected reply to the login");
        }
        if (!nothing) {
            Net.BeginPacket();
            if (answer.empty())
                Net.SendEmptyPacket();
            else {
                Net.WriteBytes(answer.data(), answer.size());
                Net.SendPacket();
            }
        }
        Net.ReadPacket();
    }
}

void TMySqlSession::close() {
    if (Closed) return;
    Closed = true;
    Status = 0;
    try {
        SendCommand(COM_QUIT, nullptr, 0, false);
    } catch (...) {
    }
    try {
        Net.close();
    } catch (...) {
    }
}

void TMySqlSession::SendCommand(uint8_t command, const void* payload, size_t length, bool awaitReply) {
    if (!Net.Channel()) return;
    Net.Channel()->SetTimeout(ReadWriteTimeout);
    if (Status != 0) throw EMySqlException::Client(CR_COMMANDS_OUT_OF_SYNC);
    Info.clear();
    AffectedRows = 0;
    Net.ResetSequence();
    Net.WriteByte(command);
    if (length) Net.WriteBytes(payload, length);
    Net.SendPacket();
    if (awaitReply) Net.ReadPacket();
}

void TMySqlSession::ReadQueryResult() {
    ServerStatus = SERVER_STATUS_AUTOCOMMIT;
    Net.ReadPacket();
    TMySqlPacketReader r(Net.Packet());
    int64_t count = r.ReadLengthCoded();
    FieldCount = count;
    if (count == 0) {
        TMySqlOk ok = TMySqlOk::Decode(Net.Packet(), Protocol41(), ServerCapabilities & CLIENT_TRANSACTIONS);
        AffectedRows = ok.AffectedRows;
        InsertId = ok.InsertId;
        if (ok.HasStatus) ServerStatus = ok.ServerStatus;
        if (ok.HasWarnings) WarningCount = ok.Warnings;
        Info = ok.Info;
        return;
    }
    if (count == -1) {
        refuseLocalFile(r.ReadZString());
        return;
    }
    if (!(ServerStatus & SERVER_STATUS_AUTOCOMMIT)) ServerStatus |= SERVER_STATUS_IN_TRANS;
    if (!r.AtEnd()) Extra = static_cast<uint64_t>(r.ReadLengthCoded());
    readColumns(count);
    Status = 1;
    WarningCount = 0;
}

// This program never asks for a local file, so a request for one comes from a server
// that should not get it: end the exchange without any content.
void TMySqlSession::refuseLocalFile(const std::string& fileName) {
    FieldCount = 0;
    Net.BeginPacket();
    Net.SendEmptyPacket();
    Net.ReadPacket();
    auto reply = Net.Packet();
    if (!reply.empty() && reply[0] == 0) {
        TMySqlOk ok = TMySqlOk::Decode(reply, Protocol41(), ServerCapabilities & CLIENT_TRANSACTIONS);
        AffectedRows = ok.AffectedRows;
        if (ok.HasStatus) ServerStatus = ok.ServerStatus;
    }
    throw EMySqlException::ClientDetail(CR_UNKNOWN_ERROR, "The server asked for the local file '" +
                                                              fileName.substr(0, 256) +
                                                              "'; this program never sends local files");
}

void TMySqlSession::readColumns(int64_t count) {
    if (count < 0 || count > 65535) throw EMySqlException::Malformed("Column count " + std::to_string(count));
    // Each definition is decoded as it arrives, and all of them together may take
    // kMaxResultMetadata: a server cannot make one result's columns fill the memory.
    const std::string tooLarge = "The column definitions of one result take more than " +
                                 std::to_string(kMaxResultMetadata >> 20) + " MiB";
    TMySqlFieldInfos columns;
    size_t budget = kMaxResultMetadata;
    bool p41 = Protocol41();
    for (;;) {
        std::vector<uint8_t> packet = Net.ReceiveBuffer(budget + 8, tooLarge);  // room for the end marker
        if (packet.size() < 8 && packet[0] == 254) {
            if (packet.size() >= 5) {
                uint16At(packet, 1, WarningCount);
                uint16At(packet, 3, ServerStatus);
            }
            break;
        }
        if (columns.size() == static_cast<size_t>(count))
            throw EMySqlException::Malformed("More column definitions than columns");
        size_t cost = packet.size() + sizeof(TMySqlFieldInfo);
        if (cost > budget) throw EMySqlException::Malformed(tooLarge);
        budget -= cost;
        columns.push_back(p41 ? TMySqlFieldInfo::Decode41(packet)
                              : TMySqlFieldInfo::DecodeOld(packet, ServerCapabilities & CLIENT_LONG_FLAG));
    }
    if (columns.size() != static_cast<size_t>(count))
        throw EMySqlException::Malformed("Fewer column definitions than columns");
    PendingColumns = std::move(columns);
    HasPendingColumns = true;
}

void TMySqlSession::DiscardRows() {
    struct StatusToZero {
        uint8_t& s;
        ~StatusToZero() { s = 0; }
    } reset{Status};
    std::vector<uint8_t> piece;
    bool continuation = false;
    for (;;) {
        size_t n = Net.ReadPacketChunked(piece, 65536, !continuation);
        if (!continuation && n > 0 && n <= 8 && piece[0] == 254) {
            if (n >= 5) {
                uint16At(piece, 1, WarningCount);
                uint16At(piece, 3, ServerStatus);
            }
            return;
        }
        continuation = n == TMySqlNet::kMaxPacket;
    }
}

}  // namespace tharvel
