#pragma once
#include <cstdint>
#include <string_view>

#include "mysql/TMyConnection.h"
#include "mysql/TMySqlBinds.h"
#include "mysql/TMySqlFieldInfo.h"

namespace tharvel {

class TMySqlResultSet;

// Runs one SQL text over a TMyConnection and streams its rows: the values point into
// the connection's packet buffer and stay valid until the next next() or close().
// Failures raise EMyError. See TMyConnection.h for an example.
class TMyQuery {
public:
    explicit TMyQuery(TMyConnection& connection);
    ~TMyQuery();
    TMyQuery(const TMyQuery&) = delete;
    TMyQuery& operator=(const TMyQuery&) = delete;

    // Seconds to wait for the server's replies; 0 means one year.
    void SetCommandTimeout(int seconds) { commandTimeout_ = seconds; }
    // Rows of the results opened from now on are received on a thread of their own,
    // a few MiB ahead of next(), which then only decodes them. For long reads whose
    // rows take work of their own, such as a dump's.
    void SetReadAhead(bool on) { readAhead_ = on; }

    // Sends the text and opens its first result; false when it returned no rows.
    bool Open(std::string_view sql);
    // Sends the text and reads every result without looking at rows.
    void execute(std::string_view sql);

    const TMySqlFieldInfos& Fields() const { return fields_; }
    size_t FieldCount() const { return fields_.size(); }
    // Moves to the next row; false after the last one.
    bool next();
    // A column past the row's end raises EMyError 2027.
    bool IsNull(size_t column) const { return current(column).IsNull(column); }
    std::string_view Value(size_t column) const { return current(column).Value(column); }
    uint64_t RowsFetched() const { return fetched_; }
    uint64_t RowsAffected() const { return affected_; }

    // Skips unread rows and further results, and gives the connection back.
    void close();

private:
    void send(std::string_view sql);
    // Inline: it runs for every value of a dump.
    const TMySqlBinds& current(size_t column) const {
        if (!row_ || column >= row_->Count()) badColumn(column);
        return *row_;
    }
    [[noreturn]] void badColumn(size_t column) const;
    void freeResult();

    TMyConnection& connection_;
    int commandTimeout_ = 0;
    bool readAhead_ = false;
    bool inUse_ = false;
    TMySqlResultSet* result_ = nullptr;
    const TMySqlBinds* row_ = nullptr;
    TMySqlFieldInfos fields_;
    uint64_t fetched_ = 0;
    uint64_t affected_ = 0;
};

}  // namespace tharvel
