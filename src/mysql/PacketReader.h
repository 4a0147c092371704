#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tharvel {

// Reads the protocol's primitive types from a payload already in memory. Reading past
// the end raises "Malformed packet" (2027); nothing is ever read outside the span.
class PacketReader {
public:
    explicit PacketReader(std::span<const uint8_t> data, size_t position = 0)
        : data_(data), pos_(position > data.size() ? data.size() : position) {}

    size_t position() const { return pos_; }
    void setPosition(size_t position);
    size_t remaining() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ >= data_.size(); }
    std::span<const uint8_t> data() const { return data_; }

    uint8_t readByte();
    uint16_t readInt16();
    uint32_t readInt24();
    uint32_t readInt32();
    uint64_t readInt64();
    // A length-coded integer (see lengthCodedAt); NULL gives -1.
    int64_t readLengthCoded();
    // The bytes up to the next zero byte (position after it), or the rest without one.
    std::string readZString();
    // n bytes as a view into the payload.
    std::string_view readView(size_t n);
    void skip(size_t n);

    // The protocol's length-coded integer at data[pos], pos moved past it: 0..250 as
    // is, 252/253/254 take 2/3/8 more bytes, 251 stands for NULL (none); 255 and too
    // few bytes raise "Malformed packet". Inline: it runs for every value of a row.
    static std::optional<uint64_t> lengthCodedAt(std::span<const uint8_t> data, size_t& pos) {
        if (pos >= data.size()) malformed();
        const uint8_t* p = data.data() + pos;
        size_t left = data.size() - pos;
        uint8_t first = p[0];
        if (first < 251) {
            pos += 1;
            return first;
        }
        size_t width = first == 252 ? 2 : first == 253 ? 3 : first == 254 ? 8 : 0;
        if (first == 251) {
            pos += 1;
            return std::nullopt;
        }
        if (width == 0 || width >= left) malformed();
        uint64_t value = 0;
        for (size_t i = width; i > 0; --i) value = value << 8 | p[i];
        pos += 1 + width;
        return value;
    }

private:
    [[noreturn]] static void malformed();
    void need(size_t n) const;
    std::span<const uint8_t> data_;
    size_t pos_;
};

}  // namespace tharvel
