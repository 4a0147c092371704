#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "dump/DumpStream.h"

namespace tharvel {

// The blocks of the dump file, in the exact text they are written with. Names
// given here are already written by the name rule.
class DumpScript {
public:
    static constexpr size_t kStatementLimit = 16384;

    explicit DumpScript(DumpStream& out) : out_(out) {}

    void header(std::string_view version, std::string_view serverVersion, std::string_view clientVersion,
                std::string_view scriptDate, std::string_view server, std::string_view database);
    void charsetLines(std::string_view charset);
    void charsetRestoreLines();
    // The session settings a restore needs to read the rows back unchanged.
    void sessionLines();
    void sessionRestoreLines();
    void foreignKeyLine();
    void foreignKeyRestoreLine();

    void structureComment(std::string_view name);
    void dropLine(std::string_view name, bool view);
    // The server's CREATE statement, ";" appended, then an empty line.
    void createText(std::string_view text);
    void dataComment(std::string_view name);
    void lockLine(std::string_view name);
    void unlockLine();
    void emptyLine() { out_.endLine(); }

    // Rows of one table. beginRow opens the row's line ("  (") and returns it for
    // the values; finishRow closes the parenthesis. The row's terminator waits
    // until it is known whether another row follows: endRow(last) writes it.
    // Rows share statements, except under a head with a line break: each row is then
    // a prepared statement of its own.
    void beginRows(std::string head);
    std::string& beginRow();
    void finishRow();
    void endRow(bool last);
    // A stop inside the rows: a finished row is kept (its statement stays open),
    // a half-built one is dropped.
    void abandonRows();

    // Triggers, routines, events and sequences. `title` is e.g. "Trigger structure for
    // trigger"; `kind` the keyword of the DROP statement ("TRIGGER", "PROCEDURE"...).
    void objectComment(std::string_view title, std::string_view name);
    void dropObjectLine(std::string_view kind, std::string_view name);
    // Saves the restoring session's settings and sets the object's own; an empty
    // time zone leaves the zone alone. The restore lines put the saved ones back.
    void objectSessionLines(std::string_view charsetClient, std::string_view collation,
                            std::string_view sqlMode, std::string_view timeZone);
    void objectSessionRestoreLines(bool timeZone);
    // A statement whose body holds ";": between DELIMITER lines, with a delimiter
    // that the text does not contain. Its line feeds end lines; every other byte,
    // a carriage return included, is kept, which the standard clients read back exactly.
    // Throws when the text is not one the client would read as one statement.
    void delimitedStatement(std::string_view text);
    // Whether the restoring client reads a server's CREATE text of a trigger, routine
    // or event as that one statement: it begins with CREATE, every quote and comment
    // is closed by the client's own rules, and outside them there is no backslash (a
    // client command: \! runs a shell) and no line that starts with DELIMITER.
    static bool clientReadsAsOneStatement(std::string_view text);
    void sequenceValueLine(std::string_view name, std::string_view next, std::string_view round);
    // A text as a quoted SQL string on one line.
    static std::string stringLiteral(std::string_view text);

    // The head of INSERT statements with the given (written) name and optional column list.
    static std::string insertHead(std::string_view name, std::string_view columnList);

    // Text for a comment line: CR, LF and NUL become \r, \n and \0, so no byte of a
    // name or of a server's text can end the comment and run as SQL.
    static std::string commentText(std::string_view text);
    // Whether a server's CREATE text cannot stand as lines of the file: it does not
    // begin with CREATE, holds a CR or LF inside a quoted name or string (a backtick
    // name cannot escape one, and a raw one would neither keep the CR LF lines nor
    // survive the client's line reading), or holds outside quotes what the restoring
    // client would take as the end of the statement, a comment or a client command.
    // Such a text goes through a prepared statement whose text is one escaped string.
    static bool mustPrepare(std::string_view statement);

private:
    // One statement (without its ";"), prepared when it must be.
    void statement(std::string_view text);
    void prepared(std::string_view text);
    void endPreparedRow();

    DumpStream& out_;
    std::string head_;
    bool prepared_ = false;  // rows of a name with a line break: one prepared statement each
    bool inStatement_ = false;
    bool building_ = false;
    bool pending_ = false;
    uint64_t size_ = 0;
    size_t rowLength_ = 0;
};

}  // namespace tharvel
