#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

#include "dump/SqlLiteral.h"

namespace tharvel {
namespace {

using enum FieldType;

struct Case {
    FieldType type;
    uint32_t length;
    std::string value;
    std::string literal;
    int major = 10;
    uint32_t flags = 0;
};

std::string lit(const Case& c) {
    return SqlLiteral("c", c.type, c.flags, c.length, true, c.major).literal(c.value);
}

TEST(SqlLiteral, WritesEachKindAsALiteralThatRestoresTheValue) {
    const std::string bin = std::string("a\0b", 3);
    const Case cases[] = {
        // integers: digits as sent, leading zeros of ZEROFILL dropped, exact beyond 64-bit signed
        {Long, 11, "-2147483648", "-2147483648"},
        {Long, 10, "0000042", "42", 10, kUnsignedFlag},
        {LongLong, 20, "18446744073709551615", "18446744073709551615", 10, kUnsignedFlag},
        {LongLong, 20, "-9223372036854775808", "-9223372036854775808"},
        {Short, 6, "-0", "0"},
        {Year, 4, "2024", "2024"},
        {Year, 4, "0000", "0"},
        // TINYINT(1): 0 and 1 as bits from version 5, any other value as the number it is
        {Tiny, 1, "1", "b'1'"},
        {Tiny, 1, "0", "b'0'"},
        {Tiny, 1, "5", "5"},
        {Tiny, 1, "-1", "-1"},
        {Tiny, 1, "127", "127"},
        {Tiny, 1, "1", "1", 4},
        {Tiny, 4, "1", "1"},
        // BIT: bytes as an unsigned number
        {Bit, 8, std::string("\x05", 1), "5"},
        {Bit, 64, std::string(8, '\xff'), "18446744073709551615"},
        {Bit, 64, std::string("\x80\0\0\0\0\0\0\0", 8), "9223372036854775808"},
        // DECIMAL: the server's digits, never through a double
        {NewDecimal, 67, "12345678901234567890123456789012345.123456789012345678901234567890",
         "12345678901234567890123456789012345.123456789012345678901234567890"},
        {NewDecimal, 10, "-0.10", "-0.10"},
        // doubles: general number format with the shortest exact digits
        {Double, 22, "0.1", "0.1"},
        {Double, 22, "100000", "100000"},
        {Double, 22, "1e15", "1E15"},
        {Double, 22, "0.00001", "1E-5"},
        {Double, 22, "0.0001", "0.0001"},
        {Double, 22, "2.5", "2.5"},
        {Double, 22, "12.25", "12.25"},
        {Double, 22, "987654321098765", "987654321098765"},
        {Double, 22, "9.87654321098765e19", "9.87654321098765E19"},
        {Double, 22, "1.5e-7", "1.5E-7"},
        {Double, 22, "0.30000000000000004", "0.30000000000000004"},
        {Double, 22, "-1.7976931348623157e308", "-1.7976931348623157E308"},
        {Double, 22, "4.9406564584124654e-324", "5E-324"},
        {Double, 22, "0", "0"},
        {Double, 22, "-0", "0"},
        {Float, 12, "3.40282e38", "3.40282E38"},
        {Float, 12, "1.0000001", "1.0000001"},
        // dates: zero date keeps its literal; non-calendar dates and 0001-01-01 as sent
        {Date, 10, "2009-03-07", "'2009-03-07'"},
        {Date, 10, "0000-00-00", "'0000-00-00 00:00:00'"},
        {Date, 10, "2020-00-15", "'2020-00-15'"},
        {Date, 10, "2020-02-00", "'2020-02-00'"},
        {Date, 10, "0001-01-01", "'0001-01-01'"},
        {DateTime, 19, "0000-00-00 00:00:00", "'0000-00-00 00:00:00'"},
        {DateTime, 26, "0000-00-00 00:00:00.000000", "'0000-00-00 00:00:00'"},
        {DateTime, 26, "2024-10-27 02:30:00.123456", "'2024-10-27 02:30:00.123456'"},
        {DateTime, 19, "2010-00-00 10:11:12", "'2010-00-00 10:11:12'"},
        {Timestamp, 23, "2024-10-27 01:30:00.500", "'2024-10-27 01:30:00.500'"},
        {Timestamp, 14, "20091207134501", "'2009-12-07 13:45:01'"},
        {Timestamp, 12, "691207134501", "'2069-12-07 13:45:01'"},
        {Timestamp, 6, "700102", "'1970-01-02 00:00:00'"},
        {Timestamp, 4, "9912", "'1999-12-01 00:00:00'"},
        {Timestamp, 14, "00000000000000", "'0000-00-00 00:00:00'"},
        // times: within a day without leading zeros, otherwise exactly as sent
        {Time, 10, "01:02:03", "'1:2:3'"},
        {Time, 10, "00:00:00", "'0:0:0'"},
        {Time, 10, "23:59:59", "'23:59:59'"},
        {Time, 17, "12:00:00.250000", "'12:0:0.250000'"},
        {Time, 10, "25:00:00", "'25:00:00'"},
        {Time, 10, "-00:30:00", "'-00:30:00'"},
        {Time, 10, "-838:59:59", "'-838:59:59'"},
        {Time, 17, "838:59:59.000000", "'838:59:59.000000'"},
        // short text: full escaping, every byte kept
        {VarString, 255, "O'Brien", "'O\\'Brien'"},
        {VarString, 255, "a\nb\rc\x1a\"\\", "'a\\nb\\rc\\Z\\\"\\\\'"},
        {String, 20, bin, "'a\\0b'"},
        {VarString, 255, "", "''"},
        // long text: '' for a quote, and NUL, CR, LF and 26 escaped so the client reads them back
        {Blob, 65535, "O'Brien", "'O''Brien'"},
        {Blob, 65535, "a\r\nb\\\"", "'a\\r\\nb\\\\\"'"},
        {Blob, 65535, std::string("\0\x1a", 2), "'\\0\\Z'"},
        {VarString, 300, "x'y", "'x''y'"},
        {Blob, 65535, "", "''"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(lit(c), c.literal) << "type " << int(c.type) << " value " << c.value;
}

TEST(SqlLiteral, GivesKindsByTypeAndLength) {
    EXPECT_EQ(SqlLiteral::kindOf(VarString, 300, true), SqlValueKind::LongText);   // VARCHAR(100) utf8
    EXPECT_EQ(SqlLiteral::kindOf(VarString, 255, true), SqlValueKind::ShortText);  // VARCHAR(85)
    EXPECT_EQ(SqlLiteral::kindOf(VarString, 256, true), SqlValueKind::ShortText);
    EXPECT_EQ(SqlLiteral::kindOf(VarString, 257, true), SqlValueKind::LongText);
    EXPECT_EQ(SqlLiteral::kindOf(VarString, 65535, false), SqlValueKind::LongText);
    EXPECT_EQ(SqlLiteral::kindOf(Geometry, 4294967295u, true), SqlValueKind::LongText);
    EXPECT_EQ(SqlLiteral::kindOf(NewDate, 10, true), SqlValueKind::Date);
}

TEST(SqlLiteral, RejectsWhatItCannotWrite) {
    auto message = [](auto&& make) {
        try {
            make();
        } catch (const std::exception& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message([] { SqlLiteral("c", FieldType{17}, 0, 0, true, 10); }), "Unknown MySQL datatype (17)");
    EXPECT_EQ(message([] { SqlLiteral("c", FieldType{244}, 0, 0, true, 10); }),
              "Unknown MySQL datatype (244)");
    EXPECT_EQ(message([] { SqlLiteral("c", Timestamp, 0, 20, true, 10); }),
              "Invalid FIELD_TYPE_TIMESTAMP Field.Length (20)");
    EXPECT_EQ(message([] { SqlLiteral("t", Time, 0, 10, true, 10).literal("123456"); }),
              "Wrong time format. Field t, value 123456");
    EXPECT_EQ(message([] { SqlLiteral("t", Time, 0, 10, true, 10).literal("12345:00:00"); }),
              "Wrong time format. Field t, value 12345:00:00");
    // Text that is not a number must never reach the script unquoted.
    EXPECT_NE(message([] { SqlLiteral("n", Long, 0, 11, true, 10).literal("1); DROP TABLE x; --"); }),
              "no error");
    EXPECT_NE(message([] { SqlLiteral("n", NewDecimal, 0, 11, true, 10).literal("1'"); }), "no error");
    EXPECT_NE(message([] { SqlLiteral("n", Double, 0, 11, true, 10).literal("nan"); }), "no error");
    EXPECT_NE(message([] { SqlLiteral("d", Date, 0, 10, true, 10).literal("2020'-01-01"); }), "no error");
}

TEST(SqlLiteral, DoublesReadBackExactly) {
    std::mt19937_64 random(7);
    for (int i = 0; i < 20000; ++i) {
        uint64_t bits = random();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (!std::isfinite(d)) continue;
        std::string out;
        SqlLiteral::appendDouble(out, d);
        EXPECT_EQ(std::strtod(out.c_str(), nullptr), d == 0 ? 0.0 : d) << out;
        EXPECT_EQ(out.find('+'), std::string::npos);
    }
}

}  // namespace
}  // namespace tharvel

namespace tharvel {
namespace {

TEST(SqlLiteral, WritesBinaryStringsAsHexadecimal) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "''"},
        {std::string("\0", 1), "0x00"},
        {"\x81\x5C'\\\r\n", "0x815C275C0D0A"},
        {"\xFF\xFE", "0xFFFE"},
    };
    for (const auto& [bytes, literal] : cases) {
        std::string out = "(";
        SqlLiteral::appendHex(out, bytes);
        EXPECT_EQ(out, "(" + literal);
    }
}

}  // namespace
}  // namespace tharvel

namespace tharvel {
namespace {

// The escaping scans many bytes at a time: every byte that needs an escape, at every
// position around the scan's steps, is found, as a byte-by-byte reading finds it.
TEST(SqlLiteral, EscapesEveryByteAtEveryPosition) {
    auto reference = [](std::string_view bytes, bool longText) {
        std::string out = "'";
        for (char c : bytes) {
            switch (c) {
                case '\0':
                    out += "\\0";
                    break;
                case '\n':
                    out += "\\n";
                    break;
                case '\r':
                    out += "\\r";
                    break;
                case 26:
                    out += "\\Z";
                    break;
                case '\\':
                    out += "\\\\";
                    break;
                case '\'':
                    out += longText ? "''" : "\\'";
                    break;
                case '"':
                    out += longText ? "\"" : "\\\"";
                    break;
                default:
                    out += c;
            }
        }
        return out + "'";
    };
    std::mt19937 random(11);
    for (size_t length : std::initializer_list<size_t>{0, 1, 15, 16, 17, 31, 32, 33, 47, 100}) {
        for (size_t at = 0; at < std::max<size_t>(length, 1); ++at) {
            for (int special :
                 std::initializer_list<int>{0, '\n', '\r', 26, '\\', '\'', '"', 'x', 0x80, 0xFF}) {
                std::string bytes(length, 'a');
                for (char& c : bytes) c = static_cast<char>('a' + random() % 26);
                if (length) bytes[at] = static_cast<char>(special);
                if (length > 20) bytes[length - 1 - at % 5] = '\'';  // a second one, near the end
                for (bool longText : {false, true}) {
                    std::string out = "x";
                    if (longText)
                        SqlLiteral::appendLongText(out, bytes);
                    else
                        SqlLiteral::appendShortText(out, bytes);
                    ASSERT_EQ(out, "x" + reference(bytes, longText))
                        << "length " << length << " at " << at << " byte " << special << " long " << longText;
                }
            }
        }
    }
}

}  // namespace
}  // namespace tharvel
