#include "mysql/PacketChannel.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "mysql/MySqlError.h"
#include "mysql/PacketReader.h"

namespace tharvel {
namespace {

constexpr size_t kAssembly = 8192;
constexpr size_t kKeepLimit = 65535;
// Compressed frames stay well below the 3-byte length limit.
constexpr size_t kCompChunk = 1 << 20;

std::string outOfOrder(const char* where, int received, int expected) {
    char text[128];
    std::snprintf(text, sizeof text, "%s: Net packets out of order: received[%d], expected[%d]", where,
                  received, expected);
    return text;
}

}  // namespace

PacketChannel::PacketChannel() {
    ensure(kAssembly);
}

PacketChannel::~PacketChannel() {
    try {
        close();
    } catch (...) {
    }
}

void PacketChannel::setChannel(std::unique_ptr<Transport> channel) {
    if (channel_) channel_->close();
    channel_ = std::move(channel);
}

void PacketChannel::close() {
    data_.reset();
    capacity_ = length_ = 0;
    std::vector<uint8_t>().swap(inflated_);
    std::vector<uint8_t>().swap(frame_);
    inflatedPos_ = 0;
    if (channel_) {
        channel_->close();
        channel_.reset();
    }
}

// Grows to exactly what is needed; a buffer grown past 64 KiB is given back at the
// next size change, so one huge packet does not pin its memory.
void PacketChannel::ensure(size_t n) {
    if (n <= capacity_ && (capacity_ <= kKeepLimit || n == capacity_)) return;
    size_t capacity = std::max(n, kAssembly);
    if (capacity == capacity_) return;
    auto fresh = std::make_unique_for_overwrite<uint8_t[]>(capacity);
    if (data_) std::memcpy(fresh.get(), data_.get(), std::min(length_, capacity));
    data_ = std::move(fresh);
    capacity_ = capacity;
}

void PacketChannel::setLength(size_t n) {
    ensure(n);
    length_ = n;
}

void PacketChannel::resetSequence() {
    sequence_ = compSequence_ = 0;
    beginPacket();
}

void PacketChannel::beginPacket() {
    setLength(4);
}

void PacketChannel::writeByte(uint8_t v) {
    ensure(length_ + 1);
    data_[length_++] = v;
}

void PacketChannel::writeInt16(uint16_t v) {
    writeByte(v & 0xFF);
    writeByte(v >> 8);
}

void PacketChannel::writeInt24(uint32_t v) {
    for (int i = 0; i < 3; ++i) writeByte((v >> (8 * i)) & 0xFF);
}

void PacketChannel::writeInt32(uint32_t v) {
    for (int i = 0; i < 4; ++i) writeByte((v >> (8 * i)) & 0xFF);
}

void PacketChannel::writeInt64(uint64_t v) {
    for (int i = 0; i < 8; ++i) writeByte((v >> (8 * i)) & 0xFF);
}

void PacketChannel::writeLengthCoded(uint64_t v) {
    if (v < 251) {
        writeByte(static_cast<uint8_t>(v));
    } else if (v < 65536) {
        writeByte(252);
        writeInt16(static_cast<uint16_t>(v));
    } else if (v < 16777216) {
        writeByte(253);
        writeInt24(static_cast<uint32_t>(v));
    } else {
        writeByte(254);
        writeInt64(v);
    }
}

void PacketChannel::writeZString(std::string_view s) {
    writeBytes(s.data(), s.size());
    writeByte(0);
}

void PacketChannel::writeRepeated(uint8_t b, size_t n) {
    ensure(length_ + n);
    std::memset(data_.get() + length_, b, n);
    length_ += n;
}

void PacketChannel::removeLastByte() {
    if (length_ > 4) --length_;
}

void PacketChannel::putHeader(uint8_t* at, size_t length) {
    at[0] = length & 0xFF;
    at[1] = (length >> 8) & 0xFF;
    at[2] = (length >> 16) & 0xFF;
    at[3] = sequence_++;
}

void PacketChannel::writeBytes(const void* data, size_t count) {
    auto bytes = static_cast<const uint8_t*>(data);
    size_t payload = length_ - 4;
    size_t total = payload + count;
    if (total < kMaxPacket) {
        append(bytes, count, total);
        return;
    }
    do {
        size_t take = kMaxPacket - payload;
        append(bytes, take, kMaxPacket);
        bytes += take;
        payload = 0;
        total -= kMaxPacket;
    } while (total >= kMaxPacket);
    if (total == 0)
        sendEmptyPacket();
    else
        append(bytes, total, total);
}

// Copies what fits into the assembly buffer; the rest goes out straight from the
// caller's memory behind a header that announces the whole length.
void PacketChannel::append(const uint8_t* data, size_t n, size_t announced) {
    size_t copied = 0;
    if (length_ < kAssembly) {
        copied = std::min(kAssembly - length_, n);
        ensure(length_ + copied);
        if (copied) std::memcpy(data_.get() + length_, data, copied);
        length_ += copied;
    }
    if (copied == n) return;
    putHeader(data_.get(), announced);
    transmit(data_.get(), length_);
    beginPacket();
    transmit(data + copied, n - copied);
}

void PacketChannel::sendPacket() {
    if (length_ > 4) {
        putHeader(data_.get(), length_ - 4);
        transmit(data_.get(), length_);
        beginPacket();
    }
    if (compress_) sequence_ = compSequence_;
}

void PacketChannel::sendEmptyPacket() {
    uint8_t header[4];
    putHeader(header, 0);
    transmit(header, 4);
    if (compress_) sequence_ = compSequence_;
}

void PacketChannel::lost() {
    throw MySqlError::clientDetail(CR_SERVER_LOST, channel_ ? channel_->lastError() : std::string());
}

void PacketChannel::transmit(const uint8_t* data, size_t n) {
    if (!channel_) lost();
    if (compress_) {
        transmitCompressed(data, n);
        return;
    }
    if (channel_->write(data, n) != n) lost();
}

void PacketChannel::transmitCompressed(const uint8_t* data, size_t n) {
    while (n > 0) {
        size_t piece = std::min(n, kCompChunk);
        uLongf deflated = 0;
        if (piece > 50) {
            deflated = piece + piece / 5 + 12;
            frame_.resize(7 + deflated);
            if (compress2(frame_.data() + 7, &deflated, data, piece, Z_DEFAULT_COMPRESSION) != Z_OK)
                deflated = 0;
        }
        uint8_t* header;
        if (deflated) {
            header = frame_.data();
            header[0] = deflated & 0xFF, header[1] = (deflated >> 8) & 0xFF,
            header[2] = (deflated >> 16) & 0xFF;
            header[4] = piece & 0xFF, header[5] = (piece >> 8) & 0xFF, header[6] = (piece >> 16) & 0xFF;
        } else {
            frame_.resize(7 + piece);
            std::memcpy(frame_.data() + 7, data, piece);
            header = frame_.data();
            header[0] = piece & 0xFF, header[1] = (piece >> 8) & 0xFF, header[2] = (piece >> 16) & 0xFF;
            header[4] = header[5] = header[6] = 0;
        }
        header[3] = compSequence_++;
        size_t frameLength = 7 + (deflated ? deflated : piece);
        if (channel_->write(frame_.data(), frameLength) != frameLength) lost();
        data += piece;
        n -= piece;
    }
}

void PacketChannel::receiveRaw(uint8_t* dest, size_t n) {
    if (!channel_) lost();
    if (channel_->read(dest, n) != n) lost();
}

PacketChannel::CompHeader PacketChannel::decodeCompHeader(std::span<const uint8_t, 7> h) {
    return {static_cast<uint32_t>(h[0] | h[1] << 8 | h[2] << 16), h[3],
            static_cast<uint32_t>(h[4] | h[5] << 8 | h[6] << 16)};
}

void PacketChannel::inflateFrame(std::span<const uint8_t> payload, uint32_t inflatedLength,
                                 std::vector<uint8_t>& out) {
    size_t at = out.size();
    if (inflatedLength < 1) {
        out.insert(out.end(), payload.begin(), payload.end());
        return;
    }
    out.resize(at + inflatedLength);
    uLongf produced = inflatedLength;
    int rc = uncompress(out.data() + at, &produced, payload.data(), payload.size());
    if (rc != Z_OK || produced != inflatedLength) {
        out.resize(at);
        throw MySqlError(ER_NET_UNCOMPRESS_ERROR, "");
    }
}

void PacketChannel::fillDecompressed() {
    inflated_.clear();
    inflatedPos_ = 0;
    uint32_t length;
    do {
        uint8_t raw[7];
        receiveRaw(raw, 7);
        CompHeader header = decodeCompHeader(std::span<const uint8_t, 7>(raw, 7));
        uint8_t expected = sequence_;
        sequence_ = compSequence_ = static_cast<uint8_t>(expected + 1);
        if (header.sequence != expected)
            throw MySqlError::clientDetail(ER_NET_PACKETS_OUT_OF_ORDER,
                                           outOfOrder("ReceiveCompHeader", header.sequence, expected));
        length = header.length;
        if (inflated_.size() + std::max(header.inflatedLength, length) > kMaxLogicalPacket + kMaxPacket)
            throw MySqlError::client(CR_NET_PACKET_TOO_LARGE);
        frame_.resize(length);
        receiveRaw(frame_.data(), length);
        inflateFrame(frame_, header.inflatedLength, inflated_);
    } while (length == kMaxPacket);
}

void PacketChannel::receive(uint8_t* dest, size_t n) {
    if (!compress_) {
        receiveRaw(dest, n);
        return;
    }
    while (n > 0) {
        if (inflatedPos_ == inflated_.size()) fillDecompressed();
        size_t take = std::min(n, inflated_.size() - inflatedPos_);
        std::memcpy(dest, inflated_.data() + inflatedPos_, take);
        inflatedPos_ += take;
        dest += take;
        n -= take;
    }
}

uint32_t PacketChannel::receiveHeader() {
    uint8_t h[4];
    receive(h, 4);
    if (!compress_) {
        uint8_t expected = sequence_;
        sequence_ = compSequence_ = static_cast<uint8_t>(expected + 1);
        if (h[3] != expected)
            throw MySqlError::clientDetail(ER_NET_PACKETS_OUT_OF_ORDER,
                                           outOfOrder("ReceiveHeader", h[3], expected));
    }
    return h[0] | h[1] << 8 | h[2] << 16;
}

void PacketChannel::readPacket() {
    length_ = 0;  // nothing of the previous packet needs to survive a reallocation
    size_t total = 0;
    size_t n;
    do {
        n = receiveHeader();
        if (total + n > kMaxLogicalPacket) throw MySqlError::client(CR_NET_PACKET_TOO_LARGE);
        setLength(total + n);
        receive(data_.get() + total, n);
        total += n;
    } while (n == kMaxPacket);
    if (total && data_[0] == 255) checkServerError(packet());
}

size_t PacketChannel::readPacketInto(Sink& into, size_t at) {
    size_t total = 0;
    size_t n;
    do {
        n = receiveHeader();
        if (total + n > kMaxLogicalPacket) throw MySqlError::client(CR_NET_PACKET_TOO_LARGE);
        uint8_t* dest = into.reserve(at + total, n);
        receive(dest, n);
        if (total == 0 && n && dest[0] == 255) {
            // An error packet is short: read it whole, then raise it.
            std::vector<uint8_t> error(dest, dest + n);
            while (n == kMaxPacket) {
                n = receiveHeader();
                size_t piece = error.size();
                error.resize(piece + n);
                receive(error.data() + piece, n);
            }
            checkServerError(error);
        }
        total += n;
    } while (n == kMaxPacket);
    return total;
}

std::vector<uint8_t> PacketChannel::receiveBuffer(size_t maxLength, std::string_view tooLong) {
    size_t n = receiveHeader();
    if (n == 0) throw MySqlError::malformed();
    if (n > maxLength) throw MySqlError::malformed(tooLong);
    if (n == kMaxPacket)
        throw MySqlError(CR_NET_PACKET_TOO_LARGE, "Cannot retrieve huge data in FetchAll mode");
    std::vector<uint8_t> bytes(n);
    receive(bytes.data(), n);
    if (bytes[0] == 255) checkServerError(bytes);
    return bytes;
}

size_t PacketChannel::readPacketChunked(std::vector<uint8_t>& bytes, size_t chunk, bool checkError) {
    bytes.clear();
    size_t n = receiveHeader();
    size_t left = n;
    uint8_t first = 0;
    bool firstPiece = true;
    while (left > 0) {
        size_t piece = std::min(left, chunk);
        bytes.resize(piece);
        receive(bytes.data(), piece);
        if (firstPiece) {
            first = bytes[0];
            if (checkError && first == 255) checkServerError(bytes);
            firstPiece = false;
        }
        left -= piece;
    }
    if (n) bytes[0] = checkError ? first : 0;
    return n;
}

void PacketChannel::checkServerError(std::span<const uint8_t> payload) {
    if (payload.empty() || payload[0] != 255) return;
    PacketReader reader(payload, 1);
    int code = reader.readInt16();
    std::string text = reader.readZString();
    throw MySqlError::server(code, text);
}

}  // namespace tharvel
