#include "DumpTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

#include "backup/TDatabaseBackup.h"
#include "projects/TCifrare.h"

namespace tharvel::test {

TBackupRecord serverRecord(const MariaDb& db, const std::string& database, const std::string& backupDir) {
    TBackupRecord r;
    r.Project = "Web shop";
    r.MySQLServer = db.host();
    r.MySQLPort = std::to_string(db.port());
    r.MySQLDataBase = database;
    r.MySQLUser = db.user();
    r.MySQLPassword = TCifrare::encipherPassword(db.password());
    r.FilesDirectory = "/";
    r.BackupDirectory = backupDir;
    return r;
}

std::unique_ptr<TMyConnection> openConnection(const MariaDb& db, const std::string& database) {
    auto c = std::make_unique<TMyConnection>();
    TDatabaseBackup::Configure(*c, serverRecord(db, database, "/"));
    c->Open();
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
    out.notes = runJob(TBackUpThread::Create(serverRecord(db, database, dir.string() + "/"), queue), queue);
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

}  // namespace tharvel::test
