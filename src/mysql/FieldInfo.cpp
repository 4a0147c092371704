#include "mysql/FieldInfo.h"

#include "mysql/MySqlError.h"
#include "mysql/PacketReader.h"
#include "mysql/RowValues.h"

namespace tharvel {
namespace {

std::span<const uint8_t> valueOf(const RowValues& parts, std::span<const uint8_t> packet, size_t i) {
    const RowValue& b = parts.at(i);
    return packet.subspan(b.offset, b.length);
}

std::string textOf(const RowValues& parts, size_t i) {
    return std::string(parts.value(i));
}

void markNumeric(FieldInfo& f) {
    if (FieldInfo::isNumeric(f.type, f.length)) f.flags |= kNumericFlag;
}

}  // namespace

bool FieldInfo::isNumeric(FieldType type, uint32_t length) {
    if (type == FieldType::Timestamp) return length == 14 || length == 8;
    // NEWDECIMAL is how servers since 5.0 send DECIMAL.
    return type <= FieldType::Int24 || type == FieldType::Year || type == FieldType::NewDecimal;
}

FieldInfo FieldInfo::decode41(std::span<const uint8_t> packet) {
    RowValues parts(7);
    parts.decode(packet);
    FieldInfo f;
    f.database = textOf(parts, 1);
    f.table = textOf(parts, 2);
    f.orgTable = textOf(parts, 3);
    f.name = textOf(parts, 4);
    f.orgName = textOf(parts, 5);
    PacketReader fixed(valueOf(parts, packet, 6));
    f.charset = fixed.readInt16();
    f.length = fixed.readInt32();
    f.type = static_cast<FieldType>(fixed.readByte());
    f.flags = fixed.readInt16();
    f.decimals = fixed.readByte();
    markNumeric(f);
    return f;
}

FieldInfo FieldInfo::decodeOld(std::span<const uint8_t> packet, bool longFlag) {
    RowValues parts(5);
    parts.decode(packet);
    FieldInfo f;
    f.table = textOf(parts, 0);
    f.orgTable = f.table;
    f.name = textOf(parts, 1);
    f.length = PacketReader(valueOf(parts, packet, 2)).readInt24();
    f.type = static_cast<FieldType>(PacketReader(valueOf(parts, packet, 3)).readByte());
    PacketReader rest(valueOf(parts, packet, 4));
    f.flags = longFlag ? rest.readInt16() : rest.readByte();
    f.decimals = rest.readByte();
    markNumeric(f);
    return f;
}

}  // namespace tharvel
