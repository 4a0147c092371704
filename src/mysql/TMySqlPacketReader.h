#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tharvel {

// Reads the protocol's primitive types from a payload already in memory. Reading past
// the end raises "Malformed packet" (2027); nothing is ever read outside the span.
class TMySqlPacketReader {
public:
    explicit TMySqlPacketReader(std::span<const uint8_t> data, size_t position = 0)
        : data_(data), pos_(position > data.size() ? data.size() : position) {}

    size_t Position() const { return pos_; }
    void SetPosition(size_t position);
    size_t Remaining() const { return data_.size() - pos_; }
    bool AtEnd() const { return pos_ >= data_.size(); }
    std::span<const uint8_t> Data() const { return data_; }

    uint8_t ReadByte();
    uint16_t ReadInt16();
    uint32_t ReadInt24();
    uint32_t ReadInt32();
    uint64_t ReadInt64();
    // 0..250 as is, 251 (NULL) gives -1, 252/253/254 take 2/3/8 more bytes; 255 is malformed.
    int64_t ReadLengthCoded();
    // The bytes up to the next zero byte (position after it), or the rest without one.
    std::string ReadZString();
    // n bytes as a view into the payload.
    std::string_view ReadView(size_t n);
    void Skip(size_t n);

private:
    void need(size_t n) const;
    std::span<const uint8_t> data_;
    size_t pos_;
};

}  // namespace tharvel
