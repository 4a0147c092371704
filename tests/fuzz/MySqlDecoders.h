#pragma once
// One input through one of the decoders of server replies. The first byte picks the
// decoder; the rest is the payload. Malformed input may only end in MySqlError.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "mysql/Authentication.h"
#include "mysql/FieldInfo.h"
#include "mysql/MySqlError.h"
#include "mysql/PacketChannel.h"
#include "mysql/ResultSet.h"
#include "mysql/RowValues.h"
#include "mysql/Session.h"
#include "mysql/Transport.h"

namespace tharvel::fuzz {

// The login's method switch and further rounds: the payload is a switch request
// (name, zero byte, data) followed by "more data" packets, each behind a length byte.
inline void authOne(std::span<const uint8_t> payload, bool secure) {
    Authentication auth("pw", secure);
    size_t zero = 0;
    while (zero < payload.size() && payload[zero] != 0) ++zero;
    std::string method(reinterpret_cast<const char*>(payload.data()), zero);
    auto rest = payload.subspan(std::min(zero + 1, payload.size()));
    size_t length = rest.empty() ? 0 : std::min<size_t>(rest[0], rest.size() - 1);
    auth.start(method, rest.empty() ? rest : rest.subspan(1, length));
    rest = rest.subspan(std::min(rest.size(), length + 1));
    while (!rest.empty()) {
        size_t n = std::min<size_t>(rest[0], rest.size() - 1);
        bool nothing = false;
        auth.answerMoreData(rest.subspan(1, n), nothing);
        rest = rest.subspan(n + 1);
    }
}

// A channel that replays bytes as the server's and swallows what the client sends.
class ReplayTransport : public Transport {
public:
    explicit ReplayTransport(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    int timeout() const override { return 0; }
    void setTimeout(int) override {}
    size_t readSome(uint8_t* dest, size_t count) override {
        size_t n = std::min(count, bytes_.size() - at_);
        if (n) std::memcpy(dest, bytes_.data() + at_, n);
        at_ += n;
        return n;
    }
    size_t writeSome(const uint8_t*, size_t count) override { return count; }
    void close() override {}

private:
    std::vector<uint8_t> bytes_;
    size_t at_ = 0;
};

// The answer to a query read as the dump reads its catalogue queries: header, column
// definitions, rows, and the first four values of every row. The input is a list of
// packets, each a 2-byte length and its payload; their headers are made here.
inline void readResult(std::span<const uint8_t> input, bool protocol41) {
    std::vector<uint8_t> stream;
    uint8_t seq = 1;
    for (size_t at = 0; at + 2 <= input.size();) {
        size_t n = std::min<size_t>(input[at] | input[at + 1] << 8, input.size() - at - 2);
        at += 2;
        const uint8_t header[4] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), 0, seq++};
        stream.insert(stream.end(), header, header + 4);
        stream.insert(stream.end(), input.begin() + at, input.begin() + at + n);
        at += n;
    }
    Session session;
    session.serverCapabilities = protocol41 ? CLIENT_PROTOCOL_41 | CLIENT_LONG_FLAG : CLIENT_LONG_FLAG;
    session.clientFlags = CLIENT_PROTOCOL_41;
    session.net.setChannel(std::make_unique<ReplayTransport>(std::move(stream)));
    session.net.resetSequence();
    session.net.beginPacket();  // the query's own sequence number 0
    session.net.sendEmptyPacket();
    std::unique_ptr<ResultSet> result;
    try {
        session.readQueryResult();
        result = session.useResult();
        if (!result) return;
        for (int rows = 0; rows < 64; ++rows) {
            const RowValues* row = result->fetchRow();
            if (!row) break;
            for (size_t i = 0; i < 4; ++i) {
                try {
                    volatile char sink = row->isNull(i) || row->value(i).empty() ? 0 : row->value(i).back();
                    (void)sink;
                } catch (const MySqlError&) {
                }
            }
        }
    } catch (const MySqlError&) {
    }
}

inline void decodeOne(const uint8_t* data, size_t size) {
    if (size == 0) return;
    std::span<const uint8_t> payload(data + 1, size - 1);
    // The highest first bytes pick the result reader (the others keep their decoder).
    if (data[0] >= 0xF8) {
        readResult(payload, data[0] & 1);
        return;
    }
    try {
        if (data[0] >= 0xF0) {
            authOne(payload, data[0] & 1);
            return;
        }
        switch (data[0] % 7) {
            case 0:
                ServerGreeting::decode(payload);
                break;
            case 1:
                OkPacket::decode(payload, true, true);
                break;
            case 2:
                FieldInfo::decode41(payload);
                break;
            case 3:
                FieldInfo::decodeOld(payload, data[0] & 8);
                break;
            case 4: {
                // The row's column count comes from its first byte.
                if (payload.empty()) return;
                RowValues values(payload[0] % 32);
                values.decode(payload.subspan(1));
                for (size_t i = 0; i < values.count(); ++i) {
                    volatile char sink = values.value(i).empty() ? 0 : values.value(i).back();
                    (void)sink;
                }
                break;
            }
            case 5: {
                // A compressed frame: 7-byte header and what follows it.
                if (payload.size() < 7) return;
                auto header = PacketChannel::decodeCompHeader(std::span<const uint8_t, 7>(payload.data(), 7));
                std::vector<uint8_t> out;
                auto body = payload.subspan(7);
                if (body.size() > header.length) body = body.subspan(0, header.length);
                if (header.inflatedLength > (1u << 20)) return;  // only slows the search
                PacketChannel::inflateFrame(body, header.inflatedLength, out);
                break;
            }
            case 6:
                PacketChannel::checkServerError(payload);
                break;
        }
    } catch (const MySqlError&) {
    }
}

}  // namespace tharvel::fuzz
