#include "mysql/TMySqlFieldInfo.h"

#include "mysql/EMySqlException.h"
#include "mysql/TMySqlBinds.h"
#include "mysql/TMySqlPacketReader.h"

namespace tharvel {
namespace {

std::span<const uint8_t> valueOf(const TMySqlBinds& binds, std::span<const uint8_t> packet, size_t i) {
    const TMySqlBind& b = binds.Bind(i);
    return packet.subspan(b.Offset, b.Length);
}

std::string textOf(const TMySqlBinds& binds, size_t i) {
    return std::string(binds.Value(i));
}

void markNumeric(TMySqlFieldInfo& f) {
    if (TMySqlFieldInfo::IsNumeric(f.Type, f.Length)) f.Flags |= TMySqlFieldInfo::kNumericFlag;
}

}  // namespace

bool TMySqlFieldInfo::IsNumeric(uint8_t type, uint32_t length) {
    if (type == 7) return length == 14 || length == 8;
    // 246 is how servers since 5.0 send DECIMAL.
    return type <= 9 || type == 13 || type == 246;
}

TMySqlFieldInfo TMySqlFieldInfo::Decode41(std::span<const uint8_t> packet) {
    TMySqlBinds binds(7);
    binds.Decode(packet);
    TMySqlFieldInfo f;
    f.Database = textOf(binds, 1);
    f.Table = textOf(binds, 2);
    f.OrgTable = textOf(binds, 3);
    f.Name = textOf(binds, 4);
    f.OrgName = textOf(binds, 5);
    TMySqlPacketReader fixed(valueOf(binds, packet, 6));
    f.Charset = fixed.ReadInt16();
    f.Length = fixed.ReadInt32();
    f.Type = fixed.ReadByte();
    f.Flags = fixed.ReadInt16();
    f.Decimals = fixed.ReadByte();
    markNumeric(f);
    return f;
}

TMySqlFieldInfo TMySqlFieldInfo::DecodeOld(std::span<const uint8_t> packet, bool longFlag) {
    TMySqlBinds binds(5);
    binds.Decode(packet);
    TMySqlFieldInfo f;
    f.Table = textOf(binds, 0);
    f.OrgTable = f.Table;
    f.Name = textOf(binds, 1);
    f.Length = TMySqlPacketReader(valueOf(binds, packet, 2)).ReadInt24();
    f.Type = TMySqlPacketReader(valueOf(binds, packet, 3)).ReadByte();
    TMySqlPacketReader rest(valueOf(binds, packet, 4));
    f.Flags = longFlag ? rest.ReadInt16() : rest.ReadByte();
    f.Decimals = rest.ReadByte();
    markNumeric(f);
    return f;
}

}  // namespace tharvel
