#pragma once
#include <cstdint>
#include <memory>

#include "mysql/FieldInfo.h"
#include "mysql/ReadAhead.h"
#include "mysql/RowValues.h"

namespace tharvel {

class Session;

// One open result: its columns and the row being read, which stays in the packet
// buffer of the connection until the next read.
class ResultSet {
public:
    ResultSet(Session* owner, FieldInfos columns);
    ~ResultSet();
    ResultSet(const ResultSet&) = delete;
    ResultSet& operator=(const ResultSet&) = delete;

    Session* owner() const { return owner_; }
    void detach() {
        stopReadAhead();
        owner_ = nullptr;
    }
    size_t columnCount() const { return columns_.size(); }
    const FieldInfos& columns() const { return columns_; }
    uint64_t fetched() const { return fetched_; }
    const RowValues& values() const { return values_; }

    // The next row, or none at the end marker (or once detached). Raises on a server
    // error or bad input.
    const RowValues* fetchRow();
    // Skips the unread rows and hands the session back; a failure to read them only
    // ends the result. Also done by the destructor.
    void close();

    // The rest of the rows are read on a thread of their own (see ReadAhead);
    // the connection is not to be used otherwise until the end marker or stopReadAhead.
    void startReadAhead();
    // Joins the reading thread. When it had read to the end, the connection is past
    // the result as after its last row; else it is at a row, as before.
    void stopReadAhead();

private:
    const RowValues* readRow();
    void end(std::span<const uint8_t> marker);

    Session* owner_;
    FieldInfos columns_;
    uint64_t fetched_ = 0;
    bool eof_ = false;
    RowValues values_;
    std::unique_ptr<ReadAhead> ahead_;
};

}  // namespace tharvel
