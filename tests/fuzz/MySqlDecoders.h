#pragma once
// One input through one of the decoders of server replies. The first byte picks the
// decoder; the rest is the payload. Malformed input may only end in EMySqlException.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "mysql/EMySqlException.h"
#include "mysql/TMySqlAuth.h"
#include "mysql/TMySqlBinds.h"
#include "mysql/TMySqlFieldInfo.h"
#include "mysql/TMySqlNet.h"
#include "mysql/TMySqlSession.h"

namespace tharvel::fuzz {

// The login's method switch and further rounds: the payload is a switch request
// (name, zero byte, data) followed by "more data" packets, each behind a length byte.
inline void authOne(std::span<const uint8_t> payload, bool secure) {
    TMySqlAuth auth("pw", secure);
    size_t zero = 0;
    while (zero < payload.size() && payload[zero] != 0) ++zero;
    std::string method(reinterpret_cast<const char*>(payload.data()), zero);
    auto rest = payload.subspan(std::min(zero + 1, payload.size()));
    size_t length = rest.empty() ? 0 : std::min<size_t>(rest[0], rest.size() - 1);
    auth.Start(method, rest.empty() ? rest : rest.subspan(1, length));
    rest = rest.subspan(std::min(rest.size(), length + 1));
    while (!rest.empty()) {
        size_t n = std::min<size_t>(rest[0], rest.size() - 1);
        bool nothing = false;
        auth.Continue(rest.subspan(1, n), nothing);
        rest = rest.subspan(n + 1);
    }
}

inline void decodeOne(const uint8_t* data, size_t size) {
    if (size == 0) return;
    std::span<const uint8_t> payload(data + 1, size - 1);
    try {
        if (data[0] >= 0xF0) {
            authOne(payload, data[0] & 1);
            return;
        }
        switch (data[0] % 7) {
            case 0:
                TMySqlGreeting::Decode(payload);
                break;
            case 1:
                TMySqlOk::Decode(payload, true, true);
                break;
            case 2:
                TMySqlFieldInfo::Decode41(payload);
                break;
            case 3:
                TMySqlFieldInfo::DecodeOld(payload, data[0] & 8);
                break;
            case 4: {
                // The row's column count comes from its first byte.
                if (payload.empty()) return;
                TMySqlBinds binds(payload[0] % 32);
                binds.Decode(payload.subspan(1));
                for (size_t i = 0; i < binds.Count(); ++i) {
                    volatile char sink = binds.Value(i).empty() ? 0 : binds.Value(i).back();
                    (void)sink;
                }
                break;
            }
            case 5: {
                // A compressed frame: 7-byte header and what follows it.
                if (payload.size() < 7) return;
                auto header = TMySqlNet::DecodeCompHeader(std::span<const uint8_t, 7>(payload.data(), 7));
                std::vector<uint8_t> out;
                auto body = payload.subspan(7);
                if (body.size() > header.length) body = body.subspan(0, header.length);
                if (header.inflatedLength > (1u << 20)) return;  // only slows the search
                TMySqlNet::InflateFrame(body, header.inflatedLength, out);
                break;
            }
            case 6:
                TMySqlNet::CheckServerError(payload);
                break;
        }
    } catch (const EMySqlException&) {
    }
}

}  // namespace tharvel::fuzz
