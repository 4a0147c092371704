#include "dump/DumpScript.h"

#include <cctype>
#include <stdexcept>

#include "dump/SqlLiteral.h"

namespace tharvel {
namespace {
constexpr std::string_view kExecute =
    "PREPARE tharvel_sql FROM @tharvel_sql; EXECUTE tharvel_sql; DEALLOCATE PREPARE tharvel_sql;";

// Whether `s` holds the upper-case `word` at `at`, in any letter case.
bool holdsWord(std::string_view s, size_t at, std::string_view word) {
    if (at > s.size() || s.size() - at < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(s[at + i])) != word[i]) return false;
    return true;
}
}  // namespace

std::string DumpScript::commentText(std::string_view text) {
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

bool DumpScript::mustPrepare(std::string_view s) {
    if (!holdsWord(s, 0, "CREATE")) return true;
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

void DumpScript::prepared(std::string_view text) {
    std::string line = "SET @tharvel_sql = ";
    SqlLiteral::appendShortText(line, text);
    line += ';';
    out_.writeLine(line);
    out_.writeLine(kExecute);
}

void DumpScript::statement(std::string_view text) {
    if (text.find_first_of("\r\n") != std::string_view::npos) {
        prepared(text);
        return;
    }
    std::string& line = out_.line();
    line.append(text);
    line += ';';
    out_.endLine();
}

void DumpScript::header(std::string_view version, std::string_view serverVersion,
                        std::string_view clientVersion, std::string_view scriptDate, std::string_view server,
                        std::string_view database) {
    out_.writeLine(std::string("-- Vessik version: ").append(commentText(version)));
    out_.writeLine(std::string("-- MySQL server version: ").append(commentText(serverVersion)));
    out_.writeLine(std::string("-- MySQL client version: ").append(commentText(clientVersion)));
    out_.writeLine(std::string("-- Script date ").append(commentText(scriptDate)));
    out_.writeLine("-- " + std::string(70, '-') + " ");
    out_.writeLine(std::string("-- Server: ").append(commentText(server)));
    out_.writeLine(std::string("-- Database: ").append(commentText(database)));
    out_.endLine();
}

void DumpScript::charsetLines(std::string_view charset) {
    out_.writeLine("/*!40101 SET @OLD_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT */;");
    out_.writeLine("/*!40101 SET @OLD_CHARACTER_SET_RESULTS=@@CHARACTER_SET_RESULTS */;");
    out_.writeLine("/*!40101 SET @OLD_COLLATION_CONNECTION=@@COLLATION_CONNECTION */;");
    out_.writeLine(std::string("/*!40101 SET NAMES ").append(charset).append(" */;"));
}

void DumpScript::charsetRestoreLines() {
    out_.writeLine("/*!40101 SET CHARACTER_SET_CLIENT=@OLD_CHARACTER_SET_CLIENT */;");
    out_.writeLine("/*!40101 SET CHARACTER_SET_RESULTS=@OLD_CHARACTER_SET_RESULTS */;");
    out_.writeLine("/*!40101 SET COLLATION_CONNECTION=@OLD_COLLATION_CONNECTION */;");
}

void DumpScript::sessionLines() {
    // An id of 0 stays 0, zero dates load on strict servers, no backslash-free mode;
    // TIMESTAMP values were read in UTC and go back in UTC.
    out_.writeLine("/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='NO_AUTO_VALUE_ON_ZERO' */;");
    out_.writeLine("/*!40103 SET @OLD_TIME_ZONE=@@TIME_ZONE */;");
    out_.writeLine("/*!40103 SET TIME_ZONE='+00:00' */;");
}

void DumpScript::sessionRestoreLines() {
    out_.writeLine("/*!40103 SET TIME_ZONE=@OLD_TIME_ZONE */;");
    out_.writeLine("/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;");
}

void DumpScript::foreignKeyLine() {
    out_.writeLine("/*!40014 SET @OLD_FOREIGN_KEY_CHECKS=@@FOREIGN_KEY_CHECKS, FOREIGN_KEY_CHECKS=0 */;");
}

void DumpScript::foreignKeyRestoreLine() {
    out_.writeLine("/*!40014 SET FOREIGN_KEY_CHECKS=@OLD_FOREIGN_KEY_CHECKS */;");
}

void DumpScript::structureComment(std::string_view name) {
    out_.writeLine("-- ");
    out_.writeLine(std::string("-- Table structure for table  ").append(commentText(name)));
    out_.writeLine("-- ");
    out_.endLine();
}

void DumpScript::dropLine(std::string_view name, bool view) {
    statement(std::string(view ? "DROP VIEW IF EXISTS " : "DROP TABLE IF EXISTS ").append(name));
}

void DumpScript::createText(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    if (mustPrepare(text)) {
        prepared(text);
    } else {
        out_.writeText(std::string(text) + ';');
    }
    out_.endLine();
}

void DumpScript::dataComment(std::string_view name) {
    out_.writeLine("-- ");
    out_.writeLine(std::string("-- Dumping data for table ").append(commentText(name)));
    out_.writeLine("-- ");
    out_.endLine();
}

void DumpScript::lockLine(std::string_view name) {
    statement(std::string("LOCK TABLES ").append(name).append(" WRITE"));
}

void DumpScript::unlockLine() {
    out_.writeLine("UNLOCK TABLES;");
}

std::string DumpScript::insertHead(std::string_view name, std::string_view columnList) {
    std::string head = "INSERT INTO ";
    head.append(name);
    if (!columnList.empty()) head.append("(").append(columnList).append(")");
    head.append(" VALUES");
    return head;
}

void DumpScript::beginRows(std::string head) {
    head_ = std::move(head);
    prepared_ = head_.find_first_of("\r\n") != std::string::npos;
    inStatement_ = false;
    building_ = false;
    pending_ = false;
}

std::string& DumpScript::beginRow() {
    if (!prepared_ && !inStatement_) {
        out_.writeLine(head_);
        inStatement_ = true;
        size_ = head_.size() + 2;
    }
    std::string& line = out_.line();
    if (!prepared_) {
        line.append("  (", 3);
    } else {
        line.append(head_).append(" (");
    }
    building_ = true;
    return line;
}

void DumpScript::finishRow() {
    out_.line() += ')';
    rowLength_ = out_.openLineLength();
    building_ = false;
    pending_ = true;
}

void DumpScript::endRow(bool last) {
    if (!pending_) return;
    pending_ = false;
    if (prepared_) {
        endPreparedRow();
        return;
    }
    size_ += rowLength_ + 2;
    bool ends = last || size_ + 2 * static_cast<uint64_t>(rowLength_) > kStatementLimit;
    out_.line() += ends ? ';' : ',';
    out_.endLine();
    if (ends) inStatement_ = false;
}

void DumpScript::abandonRows() {
    if (building_) {
        out_.discardOpenLine();
        building_ = false;
    } else if (pending_) {
        pending_ = false;
        if (!prepared_) {
            out_.line() += ',';
            out_.endLine();
        } else {
            endPreparedRow();
        }
    }
}

void DumpScript::endPreparedRow() {
    const std::string& buffer = out_.line();
    std::string text = buffer.substr(buffer.size() - out_.openLineLength());
    out_.discardOpenLine();
    prepared(text);
}

void DumpScript::objectComment(std::string_view title, std::string_view name) {
    out_.writeLine("-- ");
    out_.writeLine(std::string("-- ").append(title).append("  ").append(commentText(name)));
    out_.writeLine("-- ");
    out_.endLine();
}

void DumpScript::dropObjectLine(std::string_view kind, std::string_view name) {
    statement(std::string("DROP ").append(kind).append(" IF EXISTS ").append(name));
}

std::string DumpScript::stringLiteral(std::string_view text) {
    std::string out;
    SqlLiteral::appendShortText(out, text);
    return out;
}

void DumpScript::objectSessionLines(std::string_view charsetClient, std::string_view collation,
                                    std::string_view sqlMode, std::string_view timeZone) {
    // The restore lines come after the object, under its sql_mode: they hold no literal.
    std::string save =
        "SET @OLD_OBJECT_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT, "
        "@OLD_OBJECT_COLLATION_CONNECTION=@@COLLATION_CONNECTION, @OLD_OBJECT_SQL_MODE=@@SQL_MODE";
    // Servers before 5.1.21 report no character set of an object.
    std::string set = "SET ";
    if (!charsetClient.empty())
        set.append("CHARACTER_SET_CLIENT=").append(stringLiteral(charsetClient)).append(", ");
    if (!collation.empty()) set.append("COLLATION_CONNECTION=").append(stringLiteral(collation)).append(", ");
    if (!timeZone.empty()) {
        save.append(", @OLD_OBJECT_TIME_ZONE=@@TIME_ZONE");
        set.append("TIME_ZONE=").append(stringLiteral(timeZone)).append(", ");
    }
    set.append("SQL_MODE=").append(stringLiteral(sqlMode));
    out_.writeLine(save + ";");
    out_.writeLine(set + ";");
}

void DumpScript::objectSessionRestoreLines(bool timeZone) {
    std::string line =
        "SET CHARACTER_SET_CLIENT=@OLD_OBJECT_CHARACTER_SET_CLIENT, "
        "COLLATION_CONNECTION=@OLD_OBJECT_COLLATION_CONNECTION, SQL_MODE=@OLD_OBJECT_SQL_MODE";
    if (timeZone) line.append(", TIME_ZONE=@OLD_OBJECT_TIME_ZONE");
    out_.writeLine(line + ";");
}

bool DumpScript::clientReadsAsOneStatement(std::string_view s) {
    constexpr std::string_view kDelimiter = "DELIMITER";
    if (!holdsWord(s, 0, "CREATE")) return false;
    enum { Code, Quote, Block, Line } state = Code;
    char quote = 0;
    bool lineStart = false;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        const char next = i + 1 < s.size() ? s[i + 1] : '\0';
        if (state == Code && lineStart && c != ' ' && c != '\t' && c != '\r') {
            lineStart = false;
            const size_t end = i + kDelimiter.size();
            if (holdsWord(s, i, kDelimiter) &&
                (end == s.size() || std::isspace(static_cast<unsigned char>(s[end]))))
                return false;
        }
        switch (state) {
            case Code:
                if (c == '\n') {
                    lineStart = true;
                } else if (c == '\'' || c == '"' || c == '`') {
                    state = Quote;
                    quote = c;
                } else if (c == '\\') {
                    return false;
                } else if (c == '#' || (c == '-' && next == '-' && i + 2 < s.size() &&
                                        std::isspace(static_cast<unsigned char>(s[i + 2])))) {
                    state = Line;
                } else if (c == '/' && next == '*') {
                    // A versioned comment is code to the client: only its end matters here.
                    state = Block;
                    ++i;
                }
                break;
            case Quote:
                if (c == '\\' && quote != '`')
                    ++i;
                else if (c == quote)
                    state = Code;  // a doubled quote closes and opens again
                break;
            case Block:
                if (c == '\\' || c == '\'' || c == '"' || c == '`') return false;
                if (c == '*' && next == '/') state = Code, ++i;
                break;
            case Line:
                if (c == '\n') state = Code, lineStart = true;
                break;
        }
    }
    return state == Code || state == Line;
}

void DumpScript::delimitedStatement(std::string_view text) {
    if (!clientReadsAsOneStatement(text))
        throw std::runtime_error(
            "The server sent a definition that a restoring client would not read as one statement");
    // The delimiter must first occur where the statement ends.
    std::string delimiter;
    for (int n = 0;; ++n) {
        delimiter = n == 0 ? ";;" : n == 1 ? "$$" : n == 2 ? "//" : ";;" + std::to_string(n);
        std::string whole = std::string(text) + delimiter;
        if (whole.find(delimiter) == text.size()) break;
    }
    out_.writeLine("DELIMITER " + delimiter);
    size_t start = 0;
    for (size_t lf; (lf = text.find('\n', start)) != std::string_view::npos; start = lf + 1)
        out_.writeLine(text.substr(start, lf - start));
    out_.writeLine(std::string(text.substr(start)) + delimiter);
    out_.writeLine("DELIMITER ;");
}

void DumpScript::sequenceValueLine(std::string_view name, std::string_view next, std::string_view round) {
    statement(std::string("DO SETVAL(")
                  .append(name)
                  .append(", ")
                  .append(next)
                  .append(", 0, ")
                  .append(round)
                  .append(")"));
}

}  // namespace tharvel
