#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "mysql/Transport.h"

namespace tharvel {

// The packet layer: 4-byte headers with a 3-byte length and a sequence number,
// splitting of long payloads, one packet buffer, and the optional zlib framing.
class PacketChannel {
public:
    static constexpr size_t kMaxPacket = 16777215;
    // Longest logical packet accepted from the server (the size the login announces).
    static constexpr size_t kMaxLogicalPacket = 1073741824;

    PacketChannel();
    ~PacketChannel();
    PacketChannel(const PacketChannel&) = delete;
    PacketChannel& operator=(const PacketChannel&) = delete;

    // Installs a channel, closing and freeing a previous one.
    void setChannel(std::unique_ptr<Transport> channel);
    Transport* channel() const { return channel_.get(); }
    // Hands the channel over open, e.g. to a channel layered on top of it.
    std::unique_ptr<Transport> releaseChannel() { return std::move(channel_); }
    void setCompress(bool on) { compress_ = on; }
    bool compress() const { return compress_; }
    uint8_t sequence() const { return sequence_; }
    uint8_t compSequence() const { return compSequence_; }

    // Writing a packet.
    void resetSequence();
    void beginPacket();
    void writeByte(uint8_t v);
    void writeInt16(uint16_t v);
    void writeInt24(uint32_t v);
    void writeInt32(uint32_t v);
    void writeInt64(uint64_t v);
    void writeLengthCoded(uint64_t v);
    void writeZString(std::string_view s);
    // Appends payload bytes; a payload beyond the 8192-byte assembly limit is streamed
    // from the caller's memory and split at 16777215 bytes.
    void writeBytes(const void* data, size_t count);
    void writeRepeated(uint8_t b, size_t n);
    // Drops the last byte written to the current packet.
    void removeLastByte();
    void sendPacket();
    void sendEmptyPacket();
    // The packet being assembled, header included (for tests).
    std::span<const uint8_t> assembled() const { return {data_.get(), length_}; }

    // Reading. readPacket leaves one logical payload in the packet buffer and raises a
    // server error packet as its error.
    void readPacket();
    std::span<const uint8_t> packet() const { return {data_.get(), length_}; }
    // ReadPacket into memory of the caller's: the payload goes to the end of `into`,
    // which grows by its length (reserve() may give more). An error packet raises after
    // its bytes are read, like ReadPacket; the bytes are then dropped again.
    struct Sink {
        virtual ~Sink() = default;
        // Room for n more bytes after the `at` bytes already held; returns their start.
        virtual uint8_t* reserve(size_t at, size_t n) = 0;
    };
    size_t readPacketInto(Sink& into, size_t at);
    // Whether input already received waits to be read (the next read may not block).
    bool hasBufferedInput() const {
        return (compress_ && inflatedPos_ < inflated_.size()) || (channel_ && channel_->buffered() > 0);
    }
    // One physical packet as its own array; an error packet raises, and so does one
    // longer than maxLength (2027 with the detail tooLong), before its bytes are read.
    std::vector<uint8_t> receiveBuffer(size_t maxLength = kMaxPacket, std::string_view tooLong = {});
    // One physical packet in pieces of at most chunk bytes, each overwriting the last in
    // bytes; returns the packet's length.
    size_t readPacketChunked(std::vector<uint8_t>& bytes, size_t chunk, bool checkError);

    // Raises the error of a server error packet (first byte 255); other payloads pass.
    static void checkServerError(std::span<const uint8_t> payload);

    // Releases both buffers, then closes and frees the channel.
    void close();

    // Decoding of one compressed frame: the 7-byte header and the payload that
    // follows it, appended inflated to out. Raises 1157 when it does not inflate.
    struct CompHeader {
        uint32_t length;
        uint8_t sequence;
        uint32_t inflatedLength;
    };
    static CompHeader decodeCompHeader(std::span<const uint8_t, 7> header);
    static void inflateFrame(std::span<const uint8_t> payload, uint32_t inflatedLength,
                             std::vector<uint8_t>& out);

private:
    void setLength(size_t n);
    void ensure(size_t n);
    void append(const uint8_t* data, size_t n, size_t announced);
    void putHeader(uint8_t* at, size_t length);
    uint32_t receiveHeader();
    void transmit(const uint8_t* data, size_t n);
    void transmitCompressed(const uint8_t* data, size_t n);
    void receive(uint8_t* dest, size_t n);
    void receiveRaw(uint8_t* dest, size_t n);
    void fillDecompressed();
    [[noreturn]] void lost();

    std::unique_ptr<Transport> channel_;
    std::unique_ptr<uint8_t[]> data_;
    size_t capacity_ = 0;
    size_t length_ = 0;
    std::vector<uint8_t> inflated_;
    size_t inflatedPos_ = 0;
    std::vector<uint8_t> frame_;
    uint8_t sequence_ = 0;
    uint8_t compSequence_ = 0;
    bool compress_ = false;
};

}  // namespace tharvel
