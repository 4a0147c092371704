#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "mysql/FieldType.h"

namespace tharvel {

// What a column's values are taken as when they are written into the dump.
enum class SqlValueKind {
    Float,      // FLOAT, DOUBLE: shortest text that reads back as the same double
    Decimal,    // DECIMAL: the server's digits as sent
    Boolean,    // TINYINT(1)
    Integer,    // the integer types and YEAR
    Bit,        // BIT(n): the bytes form an unsigned number
    Date,       // DATE
    Time,       // TIME
    DateTime,   // DATETIME, TIMESTAMP
    ShortText,  // character and binary strings of display length up to 256
    LongText,   // longer strings, BLOB and TEXT types, GEOMETRY
};

// Writes the values of one result column as SQL literals. Built once per column
// from its descriptor, then used for every row.
class SqlLiteral {
public:
    // Throws "Unknown MySQL datatype (n)" for a type code without a kind, and
    // "Invalid FIELD_TYPE_TIMESTAMP Field.Length (n)" for a TIMESTAMP of a
    // display length the dump cannot read.
    SqlLiteral(std::string columnName, FieldType type, uint32_t flags, uint32_t displayLength,
               bool hasTableName, int serverMajor);

    static SqlValueKind kindOf(FieldType type, uint32_t displayLength, bool hasTableName);

    SqlValueKind kind() const { return kind_; }

    // The server's text for FLOAT and DOUBLE is rounded; the dump selects such
    // columns as a point's well-known binary instead, whose X holds the exact
    // double. singlePrecision: the column is a FLOAT (shortest float digits).
    void readFloatFromWkb(bool singlePrecision) {
        wkb_ = true;
        single_ = singlePrecision;
    }

    // Appends the literal of a value (the server's bytes) to out.
    void append(std::string& out, std::string_view value) const;
    static void appendNull(std::string& out) { out.append("NULL", 4); }

    // The literal of a value as a new string (for tests and single values).
    std::string literal(std::string_view value) const;

    // Text escaping of the two kinds.
    static void appendShortText(std::string& out, std::string_view bytes);
    static void appendLongText(std::string& out, std::string_view bytes);
    // A binary string as a hexadecimal literal (0x...; '' when empty): nothing in it
    // depends on the character set the restoring client reads the file in.
    static void appendHex(std::string& out, std::string_view bytes);
    // The general number format, with the shortest digits that read back exactly.
    static void appendDouble(std::string& out, double value);
    static void appendFloat(std::string& out, float value);

private:
    void appendInteger(std::string& out, std::string_view text) const;
    void appendBoolean(std::string& out, std::string_view text) const;
    void appendDate(std::string& out, std::string_view text) const;
    void appendDateTime(std::string& out, std::string_view text) const;
    void appendOldTimestamp(std::string& out, std::string_view text) const;
    void appendTime(std::string& out, std::string_view text) const;
    [[noreturn]] void badValue(std::string_view text) const;

    std::string name_;
    SqlValueKind kind_;
    FieldType type_;
    uint32_t length_;
    int serverMajor_;
    bool wkb_ = false;
    bool single_ = false;
};

}  // namespace tharvel
