#include "mysql/PacketReader.h"

#include <cstring>

#include "mysql/MySqlError.h"

namespace tharvel {

void PacketReader::malformed() {
    throw MySqlError::malformed();
}

void PacketReader::need(size_t n) const {
    if (n > data_.size() - pos_) throw MySqlError::malformed();
}

void PacketReader::setPosition(size_t position) {
    if (position > data_.size()) throw MySqlError::malformed();
    pos_ = position;
}

uint8_t PacketReader::readByte() {
    need(1);
    return data_[pos_++];
}

uint16_t PacketReader::readInt16() {
    need(2);
    uint16_t v = static_cast<uint16_t>(data_[pos_] | data_[pos_ + 1] << 8);
    pos_ += 2;
    return v;
}

uint32_t PacketReader::readInt24() {
    need(3);
    uint32_t v = data_[pos_] | data_[pos_ + 1] << 8 | static_cast<uint32_t>(data_[pos_ + 2]) << 16;
    pos_ += 3;
    return v;
}

uint32_t PacketReader::readInt32() {
    need(4);
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | data_[pos_ + i];
    pos_ += 4;
    return v;
}

uint64_t PacketReader::readInt64() {
    need(8);
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | data_[pos_ + i];
    pos_ += 8;
    return v;
}

int64_t PacketReader::readLengthCoded() {
    std::optional<uint64_t> value = lengthCodedAt(data_, pos_);
    return value ? static_cast<int64_t>(*value) : -1;
}

std::string PacketReader::readZString() {
    const uint8_t* start = data_.data() + pos_;
    size_t left = data_.size() - pos_;
    const void* zero = left ? std::memchr(start, 0, left) : nullptr;
    size_t n = zero ? static_cast<const uint8_t*>(zero) - start : left;
    std::string s(reinterpret_cast<const char*>(start), n);
    pos_ += zero ? n + 1 : n;
    return s;
}

std::string_view PacketReader::readView(size_t n) {
    need(n);
    std::string_view v(reinterpret_cast<const char*>(data_.data() + pos_), n);
    pos_ += n;
    return v;
}

void PacketReader::skip(size_t n) {
    need(n);
    pos_ += n;
}

}  // namespace tharvel
