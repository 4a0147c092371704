#include "dump/TDumpScript.h"

#include <cctype>

#include "dump/TMyValueLiteral.h"

namespace tharvel {
namespace {
constexpr std::string_view kExecute =
    "PREPARE tharvel_sql FROM @tharvel_sql; EXECUTE tharvel_sql; DEALLOCATE PREPARE tharvel_sql;";
}

std::string TDumpScript::CommentText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\r')
            out.append("\\r", 2);
        else if (c == '\n')
            out.append("\\n", 2);
        else if (c == '\0')
            out.append("\\0", 2);
        else
            out += c;
    }
    return out;
}

bool TDumpScript::MustPrepare(std::string_view s) {
    constexpr std::string_view kCreate = "CREATE";
    if (s.size() < kCreate.size()) return true;
    for (size_t i = 0; i < kCreate.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(s[i])) != kCreate[i]) return true;
    char quote = 0;
    bool comment = false;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        char next = i + 1 < s.size() ? s[i + 1] : '\0';
        if (comment) {
            // Versioned comments (/*!50100 PARTITION ...*/) are plain; anything the
            // client might read differently inside one is not.
            if (c == ';' || c == '\\' || c == '`' || c == '\'' || c == '"') return true;
            if (c == '*' && next == '/') comment = false, ++i;
        } else if (quote) {
            if (c == '\r' || c == '\n') return true;
            if (c == '\\' && quote != '`') {
                if (next == '\r' || next == '\n') return true;
                ++i;
            } else if (c == quote) {
                quote = 0;  // a doubled quote closes and opens again
            }
        } else if (c == '`' || c == '\'' || c == '"') {
            quote = c;
        } else if (c == '/' && next == '*') {
            comment = true;
            ++i;
        } else if (c == ';' || c == '\\' || c == '#' || (c == '-' && next == '-')) {
            // A second statement, a client command (\! runs a shell), or a comment
            // that would swallow the ";" after the text.
            return true;
        }
    }
    return quote || comment;
}

void TDumpScript::prepared(std::string_view text) {
    std::string line = "SET @tharvel_sql = ";
    TMyValueLiteral::AppendShortText(line, text);
    line += ';';
    out_.WriteLine(line);
    out_.WriteLine(kExecute);
}

void TDumpScript::statement(std::string_view text) {
    if (text.find_first_of("\r\n") != std::string_view::npos) {
        prepared(text);
        return;
    }
    std::string& line = out_.line();
    line.append(text);
    line += ';';
    out_.EndLine();
}

void TDumpScript::Header(std::string_view componentVersion, std::string_view serverVersion,
                         std::string_view clientVersion, std::string_view scriptDate, std::string_view server,
                         std::string_view database) {
    out_.WriteLine(std::string("-- Vessik version: ").append(CommentText(componentVersion)));
    out_.WriteLine(std::string("-- MySQL server version: ").append(CommentText(serverVersion)));
    out_.WriteLine(std::string("-- MySQL client version: ").append(CommentText(clientVersion)));
    out_.WriteLine(std::string("-- Script date ").append(CommentText(scriptDate)));
    out_.WriteLine("-- " + std::string(70, '-') + " ");
    out_.WriteLine(std::string("-- Server: ").append(CommentText(server)));
    out_.WriteLine(std::string("-- Database: ").append(CommentText(database)));
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
    out_.WriteLine(std::string("-- Table structure for table  ").append(CommentText(name)));
    out_.WriteLine("-- ");
    out_.EndLine();
}

void TDumpScript::DropLine(std::string_view name, bool view) {
    statement(std::string(view ? "DROP VIEW IF EXISTS " : "DROP TABLE IF EXISTS ").append(name));
}

void TDumpScript::CreateText(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    if (MustPrepare(text)) {
        prepared(text);
    } else {
        out_.WriteText(std::string(text) + ';');
    }
    out_.EndLine();
}

void TDumpScript::DataComment(std::string_view name) {
    out_.WriteLine("-- ");
    out_.WriteLine(std::string("-- Dumping data for table ").append(CommentText(name)));
    out_.WriteLine("-- ");
    out_.EndLine();
}

void TDumpScript::TruncateLine(std::string_view name) {
    statement(std::string("TRUNCATE TABLE ").append(name));
}

void TDumpScript::LockLine(std::string_view name) {
    statement(std::string("LOCK TABLES ").append(name).append(" WRITE"));
}

void TDumpScript::UnlockLine() {
    out_.WriteLine("UNLOCK TABLES;");
}

void TDumpScript::DisableKeysLine(std::string_view name) {
    statement(std::string("/*!40000 ALTER TABLE ").append(name).append(" DISABLE KEYS */"));
}

void TDumpScript::EnableKeysLine(std::string_view name) {
    statement(std::string("/*!40000 ALTER TABLE ").append(name).append(" ENABLE KEYS */"));
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
    prepared_ = head_.find_first_of("\r\n") != std::string::npos;
    extended_ = extended && !prepared_;
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
        endSingleRow();
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
        if (extended_) {
            out_.line() += ',';
            out_.EndLine();
        } else {
            endSingleRow();
        }
    }
}

void TDumpScript::endSingleRow() {
    if (prepared_) {
        const std::string& buffer = out_.line();
        std::string text = buffer.substr(buffer.size() - out_.openLineLength());
        out_.DiscardOpenLine();
        prepared(text);
        return;
    }
    out_.line() += ';';
    out_.EndLine();
}

}  // namespace tharvel
