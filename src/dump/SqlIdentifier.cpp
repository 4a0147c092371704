#include "dump/SqlIdentifier.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace tharvel {
namespace {

// Reserved words of MariaDB and MySQL together; quoting one too many is harmless,
// writing one bare breaks the restore.
constexpr std::string_view kReserved[] = {
    "ACCESSIBLE",
    "ADD",
    "ALL",
    "ALTER",
    "ANALYZE",
    "AND",
    "AS",
    "ASC",
    "ASENSITIVE",
    "BEFORE",
    "BETWEEN",
    "BIGINT",
    "BINARY",
    "BLOB",
    "BODY",
    "BOTH",
    "BY",
    "CALL",
    "CASCADE",
    "CASE",
    "CHANGE",
    "CHAR",
    "CHARACTER",
    "CHECK",
    "COLLATE",
    "COLUMN",
    "CONDITION",
    "CONSTRAINT",
    "CONTINUE",
    "CONVERT",
    "CREATE",
    "CROSS",
    "CUBE",
    "CUME_DIST",
    "CURRENT_DATE",
    "CURRENT_ROLE",
    "CURRENT_TIME",
    "CURRENT_TIMESTAMP",
    "CURRENT_USER",
    "CURSOR",
    "DATABASE",
    "DATABASES",
    "DAY_HOUR",
    "DAY_MICROSECOND",
    "DAY_MINUTE",
    "DAY_SECOND",
    "DEC",
    "DECIMAL",
    "DECLARE",
    "DEFAULT",
    "DELAYED",
    "DELETE",
    "DELETE_DOMAIN_ID",
    "DENSE_RANK",
    "DESC",
    "DESCRIBE",
    "DETERMINISTIC",
    "DISTINCT",
    "DISTINCTROW",
    "DIV",
    "DO_DOMAIN_IDS",
    "DOUBLE",
    "DROP",
    "DUAL",
    "EACH",
    "ELSE",
    "ELSEIF",
    "ELSIF",
    "EMPTY",
    "ENCLOSED",
    "ESCAPED",
    "EXCEPT",
    "EXISTS",
    "EXIT",
    "EXPLAIN",
    "FALSE",
    "FETCH",
    "FIRST_VALUE",
    "FLOAT",
    "FLOAT4",
    "FLOAT8",
    "FOR",
    "FORCE",
    "FOREIGN",
    "FROM",
    "FULLTEXT",
    "FUNCTION",
    "GENERAL",
    "GENERATED",
    "GET",
    "GOTO",
    "GRANT",
    "GROUP",
    "GROUPING",
    "GROUPS",
    "HAVING",
    "HIGH_PRIORITY",
    "HOUR_MICROSECOND",
    "HOUR_MINUTE",
    "HOUR_SECOND",
    "IF",
    "IGNORE",
    "IGNORE_DOMAIN_IDS",
    "IGNORE_SERVER_IDS",
    "IN",
    "INDEX",
    "INFILE",
    "INNER",
    "INOUT",
    "INSENSITIVE",
    "INSERT",
    "INT",
    "INT1",
    "INT2",
    "INT3",
    "INT4",
    "INT8",
    "INTEGER",
    "INTERSECT",
    "INTERVAL",
    "INTO",
    "IO_AFTER_GTIDS",
    "IO_BEFORE_GTIDS",
    "IS",
    "ITERATE",
    "JOIN",
    "JSON_TABLE",
    "KEY",
    "KEYS",
    "KILL",
    "LAG",
    "LAST_VALUE",
    "LATERAL",
    "LEAD",
    "LEADING",
    "LEAVE",
    "LEFT",
    "LIKE",
    "LIMIT",
    "LINEAR",
    "LINES",
    "LOAD",
    "LOCALTIME",
    "LOCALTIMESTAMP",
    "LOCK",
    "LONG",
    "LONGBLOB",
    "LONGTEXT",
    "LOOP",
    "LOW_PRIORITY",
    "MASTER_BIND",
    "MASTER_HEARTBEAT_PERIOD",
    "MASTER_SSL_VERIFY_SERVER_CERT",
    "MATCH",
    "MAXVALUE",
    "MEDIUMBLOB",
    "MEDIUMINT",
    "MEDIUMTEXT",
    "MIDDLEINT",
    "MINUTE_MICROSECOND",
    "MINUTE_SECOND",
    "MOD",
    "MODIFIES",
    "NATURAL",
    "NOT",
    "NO_WRITE_TO_BINLOG",
    "NTH_VALUE",
    "NTILE",
    "NULL",
    "NUMERIC",
    "OF",
    "OFFSET",
    "ON",
    "OPTIMIZE",
    "OPTIMIZER_COSTS",
    "OPTION",
    "OPTIONALLY",
    "OR",
    "ORDER",
    "OTHERS",
    "OUT",
    "OUTER",
    "OUTFILE",
    "OVER",
    "PAGE_CHECKSUM",
    "PARSE_VCOL_EXPR",
    "PARTITION",
    "PERCENT_RANK",
    "PERIOD",
    "PORTION",
    "POSITION",
    "PRECISION",
    "PRIMARY",
    "PROCEDURE",
    "PURGE",
    "RANGE",
    "RANK",
    "READ",
    "READS",
    "READ_WRITE",
    "REAL",
    "RECURSIVE",
    "REF_SYSTEM_ID",
    "REFERENCES",
    "REGEXP",
    "RELEASE",
    "RENAME",
    "REPEAT",
    "REPLACE",
    "REQUIRE",
    "RESIGNAL",
    "RESTRICT",
    "RETURN",
    "RETURNING",
    "REVOKE",
    "RIGHT",
    "RLIKE",
    "ROW",
    "ROW_NUMBER",
    "ROWNUM",
    "ROWS",
    "ROWTYPE",
    "SCHEMA",
    "SCHEMAS",
    "SECOND_MICROSECOND",
    "SELECT",
    "SENSITIVE",
    "SEPARATOR",
    "SET",
    "SHOW",
    "SIGNAL",
    "SLOW",
    "SMALLINT",
    "SPATIAL",
    "SPECIFIC",
    "SQL",
    "SQL_BIG_RESULT",
    "SQL_CALC_FOUND_ROWS",
    "SQL_SMALL_RESULT",
    "SQLEXCEPTION",
    "SQLSTATE",
    "SQLWARNING",
    "SSL",
    "STARTING",
    "STATS_AUTO_RECALC",
    "STATS_PERSISTENT",
    "STATS_SAMPLE_PAGES",
    "STORED",
    "STRAIGHT_JOIN",
    "SYSTEM",
    "TABLE",
    "TERMINATED",
    "THEN",
    "TINYBLOB",
    "TINYINT",
    "TINYTEXT",
    "TO",
    "TRAILING",
    "TRIGGER",
    "TRUE",
    "UNDO",
    "UNION",
    "UNIQUE",
    "UNLOCK",
    "UNSIGNED",
    "UPDATE",
    "USAGE",
    "USE",
    "USING",
    "UTC_DATE",
    "UTC_TIME",
    "UTC_TIMESTAMP",
    "VALUES",
    "VARBINARY",
    "VARCHAR",
    "VARCHARACTER",
    "VARYING",
    "VIRTUAL",
    "WHEN",
    "WHERE",
    "WHILE",
    "WINDOW",
    "WITH",
    "WRITE",
    "XOR",
    "YEAR_MONTH",
    "ZEROFILL",
    "ARRAY",
    "MEMBER",
    "PERSIST",
    "PERSIST_ONLY",
    "CONSTRAINTS",
    "VECTOR",
    "DISTANCE",
};

// "#" starts a comment and "@" a variable: a name holding either would reach the
// server as another name, so only these stand bare.
bool allowedBare(unsigned char c) {
    return c == '$' || c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

bool SqlIdentifier::IsQuotedName(std::string_view name) {
    if (name.size() < 2) return false;
    char first = name.front();
    return (first == '`' || first == '"' || first == '\'') && name.back() == first;
}

std::string_view SqlIdentifier::Unquote(std::string_view name) {
    return IsQuotedName(name) ? name.substr(1, name.size() - 2) : name;
}

bool SqlIdentifier::IsReservedWord(std::string_view word) {
    if (word.empty() || word.size() > 32) return false;
    std::string upper(word);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return std::find(std::begin(kReserved), std::end(kReserved), std::string_view(upper)) !=
           std::end(kReserved);
}

bool SqlIdentifier::IsBracketNeeds(std::string_view part) {
    if (part.empty()) return false;
    // A leading digit may make a number (1e5, 0x41, 0b1, 123); a leading underscore
    // a character-set introducer (_binary, _latin1); a leading "$" is deprecated.
    char first = part.front();
    if ((first >= '0' && first <= '9') || first == '_' || first == '$') return true;
    for (char c : part)
        if (!allowedBare(static_cast<unsigned char>(c))) return true;
    return IsReservedWord(part);
}

std::string SqlIdentifier::Bracket(std::string_view part) {
    std::string out;
    out.reserve(part.size() + 2);
    out += '`';
    for (char c : part) {
        if (c == '`') out += '`';
        out += c;
    }
    out += '`';
    return out;
}

std::string SqlIdentifier::QuoteObject(std::string_view name, bool quoteAlways) {
    if (name.empty()) return {};
    if (quoteAlways || IsBracketNeeds(name)) return Bracket(name);
    return std::string(name);
}

std::string SqlIdentifier::QuoteQualified(std::string_view name, bool quoteAlways) {
    std::string out;
    size_t start = 0;
    char quote = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '`' || c == '"') {
            quote = c;
        } else if (c == '.') {
            std::string_view part = name.substr(start, i - start);
            out += IsQuotedName(part) ? std::string(part) : QuoteObject(part, quoteAlways);
            out += '.';
            start = i + 1;
        }
    }
    std::string_view part = name.substr(start);
    out += IsQuotedName(part) ? std::string(part) : QuoteObject(part, quoteAlways);
    return out;
}

}  // namespace tharvel
