#pragma once
#include <cstdint>
#include <memory>

#include "mysql/TMySqlBinds.h"
#include "mysql/TMySqlFieldInfo.h"
#include "mysql/TMySqlReadAhead.h"

namespace tharvel {

class TMySqlSession;

// One open result: its columns and the row being read, which stays in the packet
// buffer of the connection until the next read.
class TMySqlResultSet {
public:
    TMySqlResultSet(TMySqlSession* owner, TMySqlFieldInfos columns);
    ~TMySqlResultSet();
    TMySqlResultSet(const TMySqlResultSet&) = delete;
    TMySqlResultSet& operator=(const TMySqlResultSet&) = delete;

    TMySqlSession* Owner() const { return owner_; }
    void Detach() {
        StopReadAhead();
        owner_ = nullptr;
    }
    size_t ColumnCount() const { return columns_.size(); }
    const TMySqlFieldInfos& Columns() const { return columns_; }
    uint64_t Fetched() const { return fetched_; }
    bool Eof() const { return eof_; }
    const TMySqlBinds& Binds() const { return binds_; }

    // The next row, or none at the end marker. Raises on a server error or bad input.
    const TMySqlBinds* FetchRow();

    // The rest of the rows are read on a thread of their own (see TMySqlReadAhead);
    // the connection is not to be used otherwise until the end marker or StopReadAhead.
    void StartReadAhead();
    // Joins the reading thread. When it had read to the end, the connection is past
    // the result as after its last row; else it is at a row, as before.
    void StopReadAhead();

private:
    void end(std::span<const uint8_t> marker);

    TMySqlSession* owner_;
    TMySqlFieldInfos columns_;
    uint64_t fetched_ = 0;
    bool eof_ = false;
    TMySqlBinds binds_;
    std::unique_ptr<TMySqlReadAhead> ahead_;
};

}  // namespace tharvel
