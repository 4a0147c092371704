#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "mysql/FieldType.h"

namespace tharvel {

// Descriptor of one result column. Strings are the bytes the server sent.
struct FieldInfo {
    std::string name;
    std::string orgName;
    std::string table;
    std::string orgTable;
    std::string database;
    uint32_t length = 0;
    int decimals = 0;
    int flags = 0;
    int charset = 0;
    FieldType type = FieldType::Decimal;

    // A column definition of the 4.1 protocol, and the older one (longFlag: the server
    // sends 2-byte column flags). Malformed input raises 2027.
    static FieldInfo decode41(std::span<const uint8_t> packet);
    static FieldInfo decodeOld(std::span<const uint8_t> packet, bool longFlag);
    // Whether a column of this type and display length counts as numeric.
    static bool isNumeric(FieldType type, uint32_t length);
};

using FieldInfos = std::vector<FieldInfo>;

}  // namespace tharvel
