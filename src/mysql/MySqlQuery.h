#pragma once
#include <cstdint>
#include <memory>
#include <string_view>

#include "mysql/FieldInfo.h"
#include "mysql/MySqlConnection.h"
#include "mysql/RowValues.h"

namespace tharvel {

class ResultSet;

// Runs one SQL text over a MySqlConnection and streams its rows: the values point into
// the connection's packet buffer and stay valid until the next next() or close().
// Failures raise MySqlError. See MySqlConnection.h for an example.
class MySqlQuery {
public:
    explicit MySqlQuery(MySqlConnection& connection);
    ~MySqlQuery();
    MySqlQuery(const MySqlQuery&) = delete;
    MySqlQuery& operator=(const MySqlQuery&) = delete;

    // Seconds to wait for the server's replies; 0 means one year.
    void setCommandTimeout(int seconds) { commandTimeout_ = seconds; }
    // Rows of the results opened from now on are received on a thread of their own,
    // a few MiB ahead of next(), which then only decodes them. For long reads whose
    // rows take work of their own, such as a dump's.
    void setReadAhead(bool on) { readAhead_ = on; }

    // Sends the text (opening the connection if it is closed) and opens its first
    // result; false when it returned no rows.
    bool open(std::string_view sql);
    // Sends the text and reads every result without looking at rows.
    void execute(std::string_view sql);

    const FieldInfos& fields() const { return fields_; }
    size_t fieldCount() const { return fields_.size(); }
    // Moves to the next row; false after the last one.
    bool next();
    // A column past the row's end raises MySqlError 2027.
    bool isNull(size_t column) const { return current(column).isNull(column); }
    std::string_view value(size_t column) const { return current(column).value(column); }
    uint64_t rowsFetched() const { return fetched_; }
    uint64_t rowsAffected() const { return affected_; }

    // Skips unread rows and further results.
    void close();

private:
    void send(std::string_view sql);
    // Inline: it runs for every value of a dump.
    const RowValues& current(size_t column) const {
        if (!row_ || column >= row_->count()) badColumn(column);
        return *row_;
    }
    [[noreturn]] void badColumn(size_t column) const;
    void freeResult();

    MySqlConnection& connection_;
    int commandTimeout_ = 0;
    bool readAhead_ = false;
    bool sent_ = false;
    std::unique_ptr<ResultSet> result_;
    const RowValues* row_ = nullptr;
    FieldInfos fields_;
    uint64_t fetched_ = 0;
    uint64_t affected_ = 0;
};

}  // namespace tharvel
