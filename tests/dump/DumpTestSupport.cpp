#include "DumpTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

#include "backup/DatabaseBackup.h"
#include "projects/PasswordCipher.h"

namespace tharvel::test {

BackupProject serverRecord(const MariaDb& db, const std::string& database, const std::string& backupDir) {
    BackupProject r;
    r.project = "Web shop";
    r.mysqlServer = db.host();
    r.mysqlPort = std::to_string(db.port());
    r.mysqlDatabase = database;
    r.mysqlUser = db.user();
    r.mysqlPassword = PasswordCipher::encipherPassword(db.password());
    r.filesDirectory = "/";
    r.backupDirectory = backupDir;
    return r;
}

std::unique_ptr<MySqlConnection> openConnection(const MariaDb& db, const std::string& database) {
    auto c = std::make_unique<MySqlConnection>();
    DatabaseBackup::configure(*c, serverRecord(db, database, "/"));
    c->open();
    return c;
}

namespace {
std::vector<std::vector<std::string>> rows(const std::string& output) {
    std::vector<std::vector<std::string>> out;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        size_t start = 0;
        for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            fields.push_back(line.substr(start, tab - start));
        fields.push_back(line.substr(start));
        out.push_back(fields);
    }
    return out;
}

std::string bracket(const std::string& name) {
    std::string out = "`";
    for (char c : name) out += c == '`' ? std::string("``") : std::string(1, c);
    return out + "`";
}

// Names travel as hexadecimal: the client's batch output escapes line breaks and tabs.
std::string unhex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}
}  // namespace

std::string databaseImage(const MariaDb& db, const std::string& database) {
    std::string image;
    auto tables = rows(db.sql(
        "SELECT HEX(TABLE_NAME), TABLE_TYPE FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() "
        "ORDER BY BINARY TABLE_NAME",
        database));
    for (const auto& t : tables) {
        const std::string name = unhex(t[0]);
        image += "== " + t[0] + " " + t[1] + "\n";
        image += db.sql("SHOW CREATE TABLE " + bracket(name), database) + "\n";
        if (t[1] == "VIEW") continue;
        auto columns =
            rows(db.sql("SELECT HEX(COLUMN_NAME), DATA_TYPE FROM information_schema.COLUMNS WHERE "
                        "TABLE_SCHEMA = DATABASE() "
                        "AND TABLE_NAME = UNHEX('" +
                            t[0] + "') ORDER BY ORDINAL_POSITION",
                        database));
        std::string select, order;
        for (size_t i = 0; i < columns.size(); ++i) {
            std::string c = bracket(unhex(columns[i][0]));
            std::string type = columns[i][1];
            std::string expr = type == "float" || type == "double" ? "HEX(ST_AsBinary(POINT(" + c + ", 0)))"
                               : type == "decimal"                 ? "HEX(CAST(" + c + " AS CHAR))"
                                                                   : "HEX(" + c + ")";
            select += (i ? ", " : "") + expr;
            order += (i ? ", " : "") + std::to_string(i + 1);
        }
        image += db.sql(
            "SET time_zone = '+00:00'; SELECT " + select + " FROM " + bracket(name) + " ORDER BY " + order,
            database);
    }
    return image;
}

std::vector<std::string> crlfLines(const std::string& bytes) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find("\r\n", pos);
        if (end == std::string::npos) {
            out.push_back("<unterminated>" + bytes.substr(pos));
            break;
        }
        out.push_back(bytes.substr(pos, end - pos));
        pos = end + 2;
    }
    return out;
}

JobDump dumpWithJob(const MariaDb& db, const std::string& database, const std::filesystem::path& dir) {
    auto queue = std::make_shared<NotificationQueue>();
    JobDump out;
    out.notes = runJob(BackupJob::create(serverRecord(db, database, dir.string() + "/"), queue), queue);
    out.path = (dir / "Web shop" / (database + ".sql")).string();
    return out;
}

std::string lineBreakFault(const std::string& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) return "lone LF at " + std::to_string(i);
        if (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n'))
            return "lone CR at " + std::to_string(i);
        if (bytes[i] == '\0') return "raw NUL at " + std::to_string(i);
    }
    return "";
}

namespace {
std::string allBytesHex() {
    static const char* digits = "0123456789ABCDEF";
    std::string hex;
    for (int b = 0; b < 256; ++b) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

}  // namespace

std::string roundTripFixture() {
    const std::string bytes = "UNHEX('" + allBytesHex() + "')";
    const std::string awkward =
        "CONCAT('a', CHAR(0), 'b''c\"d\\\\e', CHAR(13), CHAR(10), 'f', CHAR(26), CHAR(13), 'g', CHAR(10))";
    return R"(
SET NAMES utf8mb4;
SET SESSION sql_mode = 'NO_AUTO_VALUE_ON_ZERO';
SET time_zone = '+00:00';
CREATE TABLE types (
  id INT PRIMARY KEY,
  ti TINYINT, tiu TINYINT UNSIGNED, b1 TINYINT(1), si SMALLINT, siu SMALLINT UNSIGNED,
  mi MEDIUMINT, miu MEDIUMINT UNSIGNED, i INT, iu INT UNSIGNED, bi BIGINT, biu BIGINT UNSIGNED,
  izf INT(6) ZEROFILL, d65 DECIMAL(65,30), d10 DECIMAL(10,2), f FLOAT, d DOUBLE,
  bit1 BIT(1), bit8 BIT(8), bit64 BIT(64),
  dt DATE, dtm DATETIME, dtm6 DATETIME(6), ts TIMESTAMP NULL DEFAULT NULL, ts6 TIMESTAMP(6) NULL DEFAULT NULL,
  tm TIME, tm3 TIME(3), y YEAR,
  c CHAR(10), vc VARCHAR(85), vcl VARCHAR(3000), bn BINARY(4), vb VARBINARY(300),
  tt TINYTEXT, tx TEXT, mt MEDIUMTEXT, bl BLOB, lb LONGBLOB,
  e ENUM('a', 'b c', 'd''e'), st SET('x', 'y', 'z'), g GEOMETRY NULL, j JSON
) DEFAULT CHARSET = utf8mb4;
INSERT INTO types (id) VALUES (1);
INSERT INTO types VALUES (2, -128, 0, 0, -32768, 0, -8388608, 0, -2147483648, 0, -9223372036854775808, 0, 0,
  '-99999999999999999999999999999999999.999999999999999999999999999999', -99999999.99, -3.4028234e38,
  -1.7976931348623157e308, b'0', b'0', b'0', '0000-00-00', '0000-00-00 00:00:00', '1000-01-01 00:00:00.000001',
  '0000-00-00 00:00:00', '1970-01-01 00:00:01.000001', '-838:59:59', '-00:00:00.001', 1901,
  '', '', '', '', '', '', '', '', '', '', 'a', '', ST_GeomFromText('POINT(1 2)'), '[]');
INSERT INTO types VALUES (3, 127, 255, 1, 32767, 65535, 8388607, 16777215, 2147483647, 4294967295,
  9223372036854775807, 18446744073709551615, 999999,
  '99999999999999999999999999999999999.999999999999999999999999999999', 99999999.99, 3.4028234e38,
  1.7976931348623157e308, b'1', b'11111111', 0xFFFFFFFFFFFFFFFF, '9999-12-31', '9999-12-31 23:59:59',
  '9999-12-31 23:59:59.999999', '2038-01-19 03:14:07', '2038-01-19 03:14:07.999999', '838:59:59', '838:59:59.999',
  2155, 'O''Brien', REPEAT('é', 85), REPEAT('€', 3000), 0xFFFFFFFF, )" +
           bytes + R"(, 'line1
line2', REPEAT('x', 70000), '😀 emoji 🎉', )" +
           bytes + ", REPEAT(" + bytes + R"(, 100), 'd''e', 'x,z',
  ST_GeomFromText('POLYGON((0 0, 1 0, 1 1, 0 0))'), '{"a": "b\\n"}');
INSERT INTO types VALUES (4, -1, 1, 5, 0, 1, 0, 1, 0, 1, 0, 9223372036854775808, 42,
  '0.000000000000000000000000000001', 0.01, 1.0000001, 0.1 + 0.2, b'1', b'00000101', 0x8000000000000000,
  '2020-00-15', '2020-00-00 12:34:56', '2024-02-29 23:59:59.000001', '2024-10-27 00:30:00',
  '2024-10-27 00:30:00.500000', '25:00:00', '-12:34:56.789', 2000, 'tab	x', )" +
           awkward + ", " + awkward + ", 0x00000001, 0x00, " + awkward + ", " + awkward + ", " + awkward +
           ", " + awkward + ", " + awkward +
           R"(, 'b c', '', NULL, '{}');
INSERT INTO types (id, b1, d, f, dt, dtm, ts, ts6, tm, vc, tx, tm3) VALUES
  (5, -1, 5e-324, 0.1, '2020-02-00', '0001-01-01 00:00:00', '2024-10-27 01:30:00', '2024-10-27 01:30:00.500000',
   '00:00:00', 'back\\slash \'q\' "dq"', 'a\\\\nb', '12:00:00.250'),
  (6, 127, 2.2250738585072014e-308, 16777216, '0001-01-01', '2024-03-31 01:59:59', '2024-03-31 00:59:59',
   '2024-03-31 01:00:00', '-00:30:00', '', '', '00:00:00.001'),
  (7, 0, 123456789012345678, -0.0, '2009-03-07', NULL, NULL, NULL, '23:59:59', NULL, NULL, NULL);

CREATE TABLE `select` (`from` INT PRIMARY KEY, `key` VARCHAR(10), `order` INT);
INSERT INTO `select` VALUES (1, 'k', 2);
CREATE TABLE `with space` (`a b` INT);
INSERT INTO `with space` VALUES (1);
CREATE TABLE `hy-phen` (`x-y` INT);
INSERT INTO `hy-phen` VALUES (2);
CREATE TABLE `1digit` (`2col` INT);
INSERT INTO `1digit` VALUES (3);
CREATE TABLE `back``tick` (`c``d` INT);
INSERT INTO `back``tick` VALUES (4);
CREATE TABLE `dot.ted` (`e.f` INT);
INSERT INTO `dot.ted` VALUES (5);
CREATE TABLE `café` (`naïve` VARCHAR(10)) DEFAULT CHARSET = utf8mb4;
INSERT INTO `café` VALUES ('ü😀');
CREATE TABLE `m_twin` (a INT);
INSERT INTO `m_twin` VALUES (6);
CREATE VIEW `M_Twin` AS SELECT a FROM `m_twin`;

CREATE TABLE zz_late (id INT PRIMARY KEY, v VARCHAR(10));
INSERT INTO zz_late VALUES (1, 'late');
CREATE VIEW b_mid AS SELECT id, v FROM zz_late;
CREATE VIEW a_top AS SELECT v FROM b_mid WHERE id > 0;

CREATE TABLE empty_one (id INT);
CREATE TABLE many (id INT PRIMARY KEY, s VARCHAR(60));
INSERT INTO many WITH RECURSIVE n(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM n WHERE k < 1000)
  SELECT k, CONCAT('row ', k, ' ', REPEAT('-', k MOD 40)) FROM n;
CREATE TABLE gen (id INT PRIMARY KEY, a INT, b INT AS (a * 2) VIRTUAL, c INT AS (a + 1) PERSISTENT,
  h INT INVISIBLE DEFAULT 7);
INSERT INTO gen (id, a, h) VALUES (1, 10, 99), (2, NULL, NULL), (3, 0, 7);
CREATE TABLE ai (id INT AUTO_INCREMENT PRIMARY KEY, v VARCHAR(5));
INSERT INTO ai VALUES (0, 'zero'), (1, 'one'), (7, 'seven');
CREATE TABLE z_parent (id INT PRIMARY KEY);
CREATE TABLE a_child (id INT PRIMARY KEY, p INT, FOREIGN KEY (p) REFERENCES z_parent (id));
INSERT INTO z_parent VALUES (1);
INSERT INTO a_child VALUES (1, 1);
)";
}

}  // namespace tharvel::test
