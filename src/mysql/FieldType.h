#pragma once
#include <cstdint>

namespace tharvel {

// A column's type code as the protocol sends it.
enum class FieldType : uint8_t {
    Decimal = 0,
    Tiny = 1,
    Short = 2,
    Long = 3,
    Float = 4,
    Double = 5,
    Null = 6,
    Timestamp = 7,
    LongLong = 8,
    Int24 = 9,
    Date = 10,
    Time = 11,
    DateTime = 12,
    Year = 13,
    NewDate = 14,
    VarChar = 15,
    Bit = 16,
    Json = 245,
    NewDecimal = 246,
    Enum = 247,
    Set = 248,
    TinyBlob = 249,
    MediumBlob = 250,
    LongBlob = 251,
    Blob = 252,
    VarString = 253,
    String = 254,
    Geometry = 255,
};

// Bits of a column's flags as the protocol sends them; kNumericFlag is the client's
// own mark for the numeric types.
enum FieldFlag : uint32_t {
    kUnsignedFlag = 32,
    kBinaryFlag = 128,
    kNumericFlag = 32768,
};

}  // namespace tharvel
