#include "dump/TDumpScript.h"

namespace tharvel {

void TDumpScript::Header(std::string_view componentVersion, std::string_view serverVersion,
                         std::string_view clientVersion, std::string_view scriptDate, std::string_view server,
                         std::string_view database) {
    out_.WriteLine(std::string("-- Vessik version: ").append(componentVersion));
    out_.WriteLine(std::string("-- MySQL server version: ").append(serverVersion));
    out_.WriteLine(std::string("-- MySQL client version: ").append(clientVersion));
    out_.WriteLine(std::string("-- Script date ").append(scriptDate));
    out_.WriteLine("-- " + std::string(70, '-') + " ");
    out_.WriteLine(std::string("-- Server: ").append(server));
    out_.WriteLine(std::string("-- Database: ").append(database));
    out_.EndLine();
}

void TDumpScript::CharsetLines(std::string_view charset) {
    out_.WriteLine("/*!40101 SET @OLD_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT */;");
    out_.WriteLine("/*!40101 SET @OLD_CHARACTER_SET_RESULTS=@@CHARACTER_SET_RESULTS */;");
    out_.WriteLine("/*!40101 SET @OLD_COLLATION_CONNECTION=@@COLLATION_CONNECTION */;");
    out_.WriteLine(std::string("/*!40101 SET NAMES ").append(charset).append(" */;"));
}

void TDumpScript::CharsetRestoreLines() {
    out_.WriteLine("/*!40101 SET CHARACTER_SET_CLIENT=@OLD_CHARACTER_SET_CLIENT */;");
    out_.WriteLine("/*!40101 SET CHARACTER_SET_RESULTS=@OLD_CHARACTER_SET_RESULTS */;");
    out_.WriteLine("/*!40101 SET COLLATION_CONNECTION=@OLD_COLLATION_CONNECTION */;");
}

void TDumpScript::SessionLines() {
    // An id of 0 stays 0, zero dates load on strict servers, no backslash-free mode;
    // TIMESTAMP values were read in UTC and go back in UTC.
    out_.WriteLine("/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='NO_AUTO_VALUE_ON_ZERO' */;");
    out_.WriteLine("/*!40103 SET @OLD_TIME_ZONE=@@TIME_ZONE */;");
    out_.WriteLine("/*!40103 SET TIME_ZONE='+00:00' */;");
}

void TDumpScript::SessionRestoreLines() {
    out_.WriteLine("/*!40103 SET TIME_ZONE=@OLD_TIME_ZONE */;");
    out_.WriteLine("/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;");
}

void TDumpScript::ForeignKeyLine() {
    out_.WriteLine("/*!40014 SET @OLD_FOREIGN_KEY_CHECKS=@@FOREIGN_KEY_CHECKS, FOREIGN_KEY_CHECKS=0 */;");
}

void TDumpScript::ForeignKeyRestoreLine() {
    out_.WriteLine("/*!40014 SET FOREIGN_KEY_CHECKS=@OLD_FOREIGN_KEY_CHECKS */;");
}

void TDumpScript::StructureComment(std::string_view name) {
    out_.WriteLine("-- ");
    out_.WriteLine(std::string("-- Table structure for table  ").append(name));
    out_.WriteLine("-- ");
    out_.EndLine();
}

void TDumpScript::DropLine(std::string_view name, bool view) {
    out_.WriteLine(
        std::string(view ? "DROP VIEW IF EXISTS " : "DROP TABLE IF EXISTS ").append(name).append(";"));
}

void TDumpScript::CreateText(std::string_view text) {
    std::string statement(text.substr(0, text.find('\0')));
    statement += ';';
    out_.WriteText(statement);
    out_.EndLine();
}

void TDumpScript::DataComment(std::string_view name) {
    out_.WriteLine("-- ");
    out_.WriteLine(std::string("-- Dumping data for table ").append(name));
    out_.WriteLine("-- ");
    out_.EndLine();
}

void TDumpScript::TruncateLine(std::string_view name) {
    out_.WriteLine(std::string("TRUNCATE TABLE ").append(name).append(";"));
}

void TDumpScript::LockLine(std::string_view name) {
    out_.WriteLine(std::string("LOCK TABLES ").append(name).append(" WRITE;"));
}

void TDumpScript::UnlockLine() {
    out_.WriteLine("UNLOCK TABLES;");
}

void TDumpScript::DisableKeysLine(std::string_view name) {
    out_.WriteLine(std::string("/*!40000 ALTER TABLE ").append(name).append(" DISABLE KEYS */;"));
}

void TDumpScript::EnableKeysLine(std::string_view name) {
    out_.WriteLine(std::string("/*!40000 ALTER TABLE ").append(name).append(" ENABLE KEYS */;"));
}

std::string TDumpScript::InsertHead(std::string_view name, std::string_view columnList, bool delayed) {
    std::string head = delayed ? "INSERT DELAYED INTO " : "INSERT INTO ";
    head.append(name);
    if (!columnList.empty()) head.append("(").append(columnList).append(")");
    head.append(" VALUES");
    return head;
}

void TDumpScript::BeginRows(std::string head, bool extended) {
    head_ = std::move(head);
    extended_ = extended;
    inStatement_ = false;
    building_ = false;
    pending_ = false;
}

std::string& TDumpScript::BeginRow() {
    if (extended_ && !inStatement_) {
        out_.WriteLine(head_);
        inStatement_ = true;
        size_ = head_.size() + 2;
    }
    std::string& line = out_.line();
    if (extended_) {
        line.append("  (", 3);
    } else {
        line.append(head_).append(" (");
    }
    building_ = true;
    return line;
}

void TDumpScript::FinishRow() {
    out_.line() += ')';
    rowLength_ = out_.openLineLength();
    building_ = false;
    pending_ = true;
}

void TDumpScript::EndRow(bool last) {
    if (!pending_) return;
    pending_ = false;
    if (!extended_) {
        out_.line() += ';';
        out_.EndLine();
        return;
    }
    size_ += rowLength_ + 2;
    bool ends = last || size_ + 2 * static_cast<uint64_t>(rowLength_) > kStatementLimit;
    out_.line() += ends ? ';' : ',';
    out_.EndLine();
    if (ends) inStatement_ = false;
}

void TDumpScript::AbandonRows() {
    if (building_) {
        out_.DiscardOpenLine();
        building_ = false;
    } else if (pending_) {
        pending_ = false;
        out_.line() += extended_ ? ',' : ';';
        out_.EndLine();
    }
}

void TDumpScript::ObjectComment(std::string_view title, std::string_view name) {
    out_.WriteLine("-- ");
    out_.WriteLine(std::string("-- ").append(title).append("  ").append(name));
    out_.WriteLine("-- ");
    out_.EndLine();
}

void TDumpScript::DropObjectLine(std::string_view kind, std::string_view name) {
    out_.WriteLine(std::string("DROP ").append(kind).append(" IF EXISTS ").append(name).append(";"));
}

std::string TDumpScript::StringLiteral(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\'':
                out += "\\'";
                break;
            case '\0':
                out += "\\0";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\x1a':
                out += "\\Z";
                break;
            default:
                out += c;
        }
    }
    return out + "'";
}

void TDumpScript::ObjectSessionLines(std::string_view charsetClient, std::string_view collation,
                                     std::string_view sqlMode, std::string_view timeZone) {
    // The restore lines come after the object, under its sql_mode: they hold no literal.
    std::string save =
        "SET @OLD_OBJECT_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT, "
        "@OLD_OBJECT_COLLATION_CONNECTION=@@COLLATION_CONNECTION, @OLD_OBJECT_SQL_MODE=@@SQL_MODE";
    // Servers before 5.1.21 report no character set of an object.
    std::string set = "SET ";
    if (!charsetClient.empty())
        set.append("CHARACTER_SET_CLIENT=").append(StringLiteral(charsetClient)).append(", ");
    if (!collation.empty()) set.append("COLLATION_CONNECTION=").append(StringLiteral(collation)).append(", ");
    if (!timeZone.empty()) {
        save.append(", @OLD_OBJECT_TIME_ZONE=@@TIME_ZONE");
        set.append("TIME_ZONE=").append(StringLiteral(timeZone)).append(", ");
    }
    set.append("SQL_MODE=").append(StringLiteral(sqlMode));
    out_.WriteLine(save + ";");
    out_.WriteLine(set + ";");
}

void TDumpScript::ObjectSessionRestoreLines(bool timeZone) {
    std::string line =
        "SET CHARACTER_SET_CLIENT=@OLD_OBJECT_CHARACTER_SET_CLIENT, "
        "COLLATION_CONNECTION=@OLD_OBJECT_COLLATION_CONNECTION, SQL_MODE=@OLD_OBJECT_SQL_MODE";
    if (timeZone) line.append(", TIME_ZONE=@OLD_OBJECT_TIME_ZONE");
    out_.WriteLine(line + ";");
}

void TDumpScript::DelimitedStatement(std::string_view text) {
    // The delimiter must first occur where the statement ends.
    std::string delimiter;
    for (int n = 0;; ++n) {
        delimiter = n == 0 ? ";;" : n == 1 ? "$$" : n == 2 ? "//" : ";;" + std::to_string(n);
        std::string whole = std::string(text) + delimiter;
        if (whole.find(delimiter) == text.size()) break;
    }
    out_.WriteLine("DELIMITER " + delimiter);
    size_t start = 0;
    for (size_t lf; (lf = text.find('\n', start)) != std::string_view::npos; start = lf + 1)
        out_.WriteLine(text.substr(start, lf - start));
    out_.WriteLine(std::string(text.substr(start)) + delimiter);
    out_.WriteLine("DELIMITER ;");
}

void TDumpScript::SequenceValueLine(std::string_view name, std::string_view next, std::string_view round) {
    out_.WriteLine(std::string("DO SETVAL(")
                       .append(name)
                       .append(", ")
                       .append(next)
                       .append(", 0, ")
                       .append(round)
                       .append(");"));
}

}  // namespace tharvel
