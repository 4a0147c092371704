#include "dump/SqlLiteral.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <system_error>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tharvel {
namespace {

constexpr std::string_view kZeroDate = "'0000-00-00 00:00:00'";

// Escape codes per byte: 0 means copy. Long text writes a quote as two quotes.
struct EscapeTable {
    char code[256] = {};
    constexpr EscapeTable() {
        code[0] = '0';
        code[10] = 'n';
        code[13] = 'r';
        code[26] = 'Z';
        code[static_cast<unsigned char>('"')] = '"';
        code[static_cast<unsigned char>('\'')] = '\'';
        code[static_cast<unsigned char>('\\')] = '\\';
    }
};
constexpr EscapeTable kEscape;

// The first byte from p on that needs an escape (or is a double quote), or end.
const char* nextSpecial(const char* p, const char* end) {
#if defined(__SSE2__)
    // Sixteen bytes at a time: text is mostly bytes that are copied as they are.
    const __m128i zero = _mm_setzero_si128(), lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r'),
                  sub = _mm_set1_epi8(26), dq = _mm_set1_epi8('"'), sq = _mm_set1_epi8('\''),
                  bs = _mm_set1_epi8('\\');
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hit = _mm_or_si128(
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, zero), _mm_cmpeq_epi8(v, lf)),
                         _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, sub))),
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, dq), _mm_cmpeq_epi8(v, sq)), _mm_cmpeq_epi8(v, bs)));
        if (const int mask = _mm_movemask_epi8(hit)) return p + __builtin_ctz(static_cast<unsigned>(mask));
        p += 16;
    }
#endif
    for (; p != end; ++p)
        if (kEscape.code[static_cast<unsigned char>(*p)]) return p;
    return end;
}

void appendEscaped(std::string& out, std::string_view bytes, bool longText) {
    out.reserve(out.size() + bytes.size() + 2);
    out += '\'';
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    const char* run = p;
    while ((p = nextSpecial(p, end)) != end) {
        const char code = kEscape.code[static_cast<unsigned char>(*p)];
        if (longText && code == '"') {
            ++p;
            continue;
        }
        out.append(run, p - run);
        if (longText && code == '\'') {
            out.append("''", 2);
        } else {
            out += '\\';
            out += code;
        }
        run = ++p;
    }
    out.append(run, end - run);
    out += '\'';
}

bool isDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

int number(std::string_view s) {
    int v = 0;
    for (char c : s) v = v * 10 + (c - '0');
    return v;
}

bool leapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

bool validDate(int y, int m, int d) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || m < 1 || m > 12 || d < 1) return false;
    int days = kDays[m - 1] + (m == 2 && leapYear(y) ? 1 : 0);
    return d <= days;
}

// Only characters a temporal value can hold, so the text can go between quotes as it is.
bool temporalText(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || c == '-' || c == ':' || c == '.' || c == ' ')) return false;
    return true;
}

void appendQuoted(std::string& out, std::string_view s) {
    out += '\'';
    out.append(s);
    out += '\'';
}

}  // namespace

SqlValueKind SqlLiteral::kindOf(FieldType type, uint32_t length, bool hasTableName) {
    using enum FieldType;
    switch (type) {
        case Decimal:
        case NewDecimal:
            return SqlValueKind::Decimal;
        case Float:
        case Double:
            return SqlValueKind::Float;
        case Tiny:
            return length == 1 ? SqlValueKind::Boolean : SqlValueKind::Integer;
        case Short:
        case Year:
        case Int24:
        case Long:
        case LongLong:
            return SqlValueKind::Integer;
        case Bit:
            return SqlValueKind::Bit;
        case Date:
        case NewDate:
            return SqlValueKind::Date;
        case Time:
            return SqlValueKind::Time;
        case DateTime:
        case Timestamp:
            return SqlValueKind::DateTime;
        case VarString:
            if (length == 65535 && !hasTableName) return SqlValueKind::LongText;
            [[fallthrough]];
        case VarChar:
        case String:
        case Enum:
        case Set:
        case Null:
            return length <= 256 ? SqlValueKind::ShortText : SqlValueKind::LongText;
        case TinyBlob:
        case MediumBlob:
        case LongBlob:
        case Blob:
        case Geometry:
        case Json:
            return SqlValueKind::LongText;
        default:
            throw std::runtime_error("Unknown MySQL datatype (" + std::to_string(static_cast<int>(type)) +
                                     ")");
    }
}

SqlLiteral::SqlLiteral(std::string columnName, FieldType type, uint32_t flags, uint32_t displayLength,
                       bool hasTableName, int serverMajor)
    : name_(std::move(columnName)),
      kind_(kindOf(type, displayLength, hasTableName)),
      type_(type),
      length_(displayLength),
      serverMajor_(serverMajor) {
    (void)flags;  // neither sign nor binary flag changes a literal: the server's digits are exact
    if (type == FieldType::Timestamp) {
        switch (displayLength) {
            case 2:
            case 4:
            case 6:
            case 8:
            case 10:
            case 12:
            case 14:
            case 19:
            case 21:
            case 22:
            case 23:
            case 24:
            case 25:
            case 26:
                break;
            default:
                throw std::runtime_error("Invalid FIELD_TYPE_TIMESTAMP Field.Length (" +
                                         std::to_string(displayLength) + ")");
        }
    }
}

std::string SqlLiteral::literal(std::string_view value) const {
    std::string out;
    append(out, value);
    return out;
}

void SqlLiteral::badValue(std::string_view text) const {
    throw std::runtime_error("Invalid value for field " + name_ + ": '" + std::string(text) + "'");
}

void SqlLiteral::append(std::string& out, std::string_view value) const {
    switch (kind_) {
        case SqlValueKind::ShortText:
            appendShortText(out, value);
            return;
        case SqlValueKind::LongText:
            appendLongText(out, value);
            return;
        case SqlValueKind::Integer:
            appendInteger(out, value);
            return;
        case SqlValueKind::Boolean:
            appendBoolean(out, value);
            return;
        case SqlValueKind::Decimal:
            for (char c : value)
                if (!((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E'))
                    badValue(value);
            if (value.empty()) badValue(value);
            out.append(value);
            return;
        case SqlValueKind::Float: {
            if (wkb_) {
                // byte order, geometry type (4 bytes), X (8 bytes), Y (8 bytes)
                if (value.size() != 21 || (value[0] != 0 && value[0] != 1)) badValue(value);
                unsigned char raw[8];
                std::memcpy(raw, value.data() + 5, 8);
                uint64_t bits = 0;
                for (int i = 0; i < 8; ++i)
                    bits |= static_cast<uint64_t>(raw[value[0] == 1 ? i : 7 - i]) << (8 * i);
                double x;
                std::memcpy(&x, &bits, sizeof x);
                if (!std::isfinite(x)) badValue(value);
                if (single_)
                    appendFloat(out, static_cast<float>(x));
                else
                    appendDouble(out, x);
                return;
            }
            double d = 0;
            const char* begin = value.data();
            if (!value.empty() && *begin == '+') ++begin;
            auto [ptr, ec] = std::from_chars(begin, value.data() + value.size(), d);
            if (ec != std::errc() || ptr != value.data() + value.size() || !std::isfinite(d)) badValue(value);
            appendDouble(out, d);
            return;
        }
        case SqlValueKind::Bit: {
            if (value.size() > 8) badValue(value);
            uint64_t v = 0;
            for (unsigned char c : value) v = v << 8 | c;
            char buf[24];
            auto r = std::to_chars(buf, buf + sizeof buf, v);
            out.append(buf, r.ptr - buf);
            return;
        }
        case SqlValueKind::Date:
            appendDate(out, value);
            return;
        case SqlValueKind::DateTime:
            if (type_ == FieldType::Timestamp && length_ < 19)
                appendOldTimestamp(out, value);
            else
                appendDateTime(out, value);
            return;
        case SqlValueKind::Time:
            appendTime(out, value);
            return;
    }
}

void SqlLiteral::appendInteger(std::string& out, std::string_view text) const {
    std::string_view digits = text;
    bool negative = !digits.empty() && digits.front() == '-';
    if (negative) digits.remove_prefix(1);
    if (!isDigits(digits)) badValue(text);
    while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);  // ZEROFILL
    if (negative && digits != "0") out += '-';
    out.append(digits);
}

void SqlLiteral::appendBoolean(std::string& out, std::string_view text) const {
    if (serverMajor_ >= 5 && (text == "0" || text == "1")) {
        out.append(text == "1" ? "b'1'" : "b'0'", 4);
        return;
    }
    // Any other value of a TINYINT(1) is kept as the number it is.
    appendInteger(out, text);
}

void SqlLiteral::appendDate(std::string& out, std::string_view text) const {
    if (!temporalText(text)) badValue(text);
    if (text == "0000-00-00") {
        out.append(kZeroDate);
        return;
    }
    // A valid date has exactly the form the literal needs; a date that the server
    // accepted but that is not in the calendar (zero month or day) goes back as sent.
    appendQuoted(out, text);
}

void SqlLiteral::appendDateTime(std::string& out, std::string_view text) const {
    if (!temporalText(text)) badValue(text);
    if (text.size() >= 19 && text.substr(0, 19) == "0000-00-00 00:00:00" &&
        text.find_first_not_of('0', 20) == std::string_view::npos) {
        out.append(kZeroDate);
        return;
    }
    appendQuoted(out, text);  // fractional seconds and non-calendar dates kept
}

void SqlLiteral::appendOldTimestamp(std::string& out, std::string_view text) const {
    if (!isDigits(text)) badValue(text);
    auto field = [&](size_t pos, size_t len) {
        return pos + len <= text.size() ? number(text.substr(pos, len)) : 0;
    };
    auto twoDigitYear = [](int yy) { return yy < 70 ? 2000 + yy : 1900 + yy; };
    int y = 0, mo = 1, d = 1, h = 0, mi = 0, s = 0;
    switch (length_) {
        case 14:
            y = field(0, 4), mo = field(4, 2), d = field(6, 2), h = field(8, 2), mi = field(10, 2),
            s = field(12, 2);
            break;
        case 12:
            y = twoDigitYear(field(0, 2)), mo = field(2, 2), d = field(4, 2), h = field(6, 2),
            mi = field(8, 2), s = field(10, 2);
            break;
        case 10:
            y = twoDigitYear(field(0, 2)), mo = field(2, 2), d = field(4, 2), h = field(6, 2),
            mi = field(8, 2);
            break;
        case 8:
            y = field(0, 4), mo = field(4, 2), d = field(6, 2);
            break;
        case 6:
            y = twoDigitYear(field(0, 2)), mo = field(2, 2), d = field(4, 2);
            break;
        case 4:
            y = twoDigitYear(field(0, 2)), mo = field(2, 2);
            break;
        case 2:
            y = twoDigitYear(field(0, 2));
            break;
    }
    if (!validDate(y, mo, d) || h > 23 || mi > 59 || s > 59) {
        out.append(kZeroDate);
        return;
    }
    char buf[32];
    int n = std::snprintf(buf, sizeof buf, "'%04d-%02d-%02d %02d:%02d:%02d'", y, mo, d, h, mi, s);
    out.append(buf, n);
}

void SqlLiteral::appendTime(std::string& out, std::string_view text) const {
    size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon >= 5)
        throw std::runtime_error("Wrong time format. Field " + name_ + ", value " + std::string(text));
    if (!temporalText(text)) badValue(text);
    // hh:mm:ss[.f] within one day is written without leading zeros; anything
    // else (negative, a day or more) goes back exactly as the server sent it.
    std::string_view hours = text.substr(0, colon);
    std::string_view rest = text.substr(colon + 1);
    if (isDigits(hours) && rest.size() >= 5 && rest[2] == ':' && isDigits(rest.substr(0, 2)) &&
        isDigits(rest.substr(3, 2)) && (rest.size() == 5 || rest[5] == '.')) {
        int h = number(hours), m = number(rest.substr(0, 2)), s = number(rest.substr(3, 2));
        if (h < 24 && m < 60 && s < 60) {
            char buf[16];
            int n = std::snprintf(buf, sizeof buf, "'%d:%d:%d", h, m, s);
            out.append(buf, n);
            out.append(rest.substr(5));
            out += '\'';
            return;
        }
    }
    appendQuoted(out, text);
}

void SqlLiteral::appendHex(std::string& out, std::string_view bytes) {
    // Both digits of a byte in one table entry: one copy per byte of a BLOB.
    static constexpr struct Pairs {
        char digits[512] = {};
        constexpr Pairs() {
            constexpr char kDigits[] = "0123456789ABCDEF";
            for (int b = 0; b < 256; ++b) {
                digits[2 * b] = kDigits[b >> 4];
                digits[2 * b + 1] = kDigits[b & 15];
            }
        }
    } kPairs;
    if (bytes.empty()) {
        out.append("''", 2);
        return;
    }
    size_t at = out.size();
    out.resize(at + 2 + 2 * bytes.size());
    char* p = out.data() + at;
    *p++ = '0';
    *p++ = 'x';
    for (unsigned char c : bytes) {
        std::memcpy(p, kPairs.digits + 2 * c, 2);
        p += 2;
    }
}

void SqlLiteral::appendShortText(std::string& out, std::string_view bytes) {
    appendEscaped(out, bytes, false);
}

void SqlLiteral::appendLongText(std::string& out, std::string_view bytes) {
    appendEscaped(out, bytes, true);
}

namespace {

// Lays out the shortest scientific digits of a number in the general number format.
void appendGeneral(std::string& out, std::string_view sci) {
    bool negative = sci.front() == '-';
    if (negative) sci.remove_prefix(1);
    size_t e = sci.find('e');
    std::string digits;
    digits += sci[0];
    if (e > 1) digits.append(sci.substr(2, e - 2));
    int exp10 = 0;
    std::from_chars(sci.data() + e + 1 + (sci[e + 1] == '+' ? 1 : 0), sci.data() + sci.size(), exp10);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    int E = exp10 + 1;  // value = 0.d1d2... x 10^E
    if (negative) out += '-';
    if (E >= -3 && E <= 15) {
        if (E <= 0) {
            out.append("0.");
            out.append(static_cast<size_t>(-E), '0');
            out.append(digits);
        } else if (static_cast<size_t>(E) >= digits.size()) {
            out.append(digits);
            out.append(E - digits.size(), '0');
        } else {
            out.append(digits, 0, E);
            out += '.';
            out.append(digits, E);
        }
    } else {
        out += digits[0];
        if (digits.size() > 1) {
            out += '.';
            out.append(digits, 1);
        }
        out += 'E';
        char eb[8];
        auto er = std::to_chars(eb, eb + sizeof eb, E - 1);
        out.append(eb, er.ptr - eb);
    }
}

}  // namespace

void SqlLiteral::appendDouble(std::string& out, double value) {
    if (value == 0) {
        out += '0';
        return;
    }
    char buf[40];
    // Scientific form with the shortest digits that read back as the same double.
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    appendGeneral(out, std::string_view(buf, r.ptr - buf));
}

void SqlLiteral::appendFloat(std::string& out, float value) {
    if (value == 0) {
        out += '0';
        return;
    }
    char buf[40];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    // The server reads the digits as a double and then narrows it; use the short
    // float digits only when that path gives this float back, else the double's.
    double read = 0;
    std::from_chars(buf, r.ptr, read);
    if (std::fabs(read) > std::numeric_limits<float>::max() || static_cast<float>(read) != value) {
        appendDouble(out, value);
        return;
    }
    appendGeneral(out, std::string_view(buf, r.ptr - buf));
}

}  // namespace tharvel
