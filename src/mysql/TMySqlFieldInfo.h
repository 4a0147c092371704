#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tharvel {

// Descriptor of one result column. Strings are the bytes the server sent.
struct TMySqlFieldInfo {
    std::string Name;
    std::string OrgName;
    std::string Table;
    std::string OrgTable;
    std::string Database;
    std::string Default;
    uint32_t Length = 0;
    int Decimals = 0;
    int MaxLength = 0;
    int Flags = 0;
    int Charset = 0;
    uint8_t Type = 0;

    static constexpr int kNumericFlag = 32768;

    // A column definition of the 4.1 protocol, and the older one (longFlag: the server
    // sends 2-byte column flags). Malformed input raises 2027.
    static TMySqlFieldInfo Decode41(std::span<const uint8_t> packet);
    static TMySqlFieldInfo DecodeOld(std::span<const uint8_t> packet, bool longFlag);
    // Whether a column of this type and display length counts as numeric.
    static bool IsNumeric(uint8_t type, uint32_t length);
};

using TMySqlFieldInfos = std::vector<TMySqlFieldInfo>;

}  // namespace tharvel
