#pragma once
#include <cstdint>

#include "mysql/TMySqlBinds.h"
#include "mysql/TMySqlFieldInfo.h"

namespace tharvel {

class TMySqlSession;

// One open result: its columns and the row being read, which stays in the packet
// buffer of the connection until the next read.
class TMySqlResultSet {
public:
    TMySqlResultSet(TMySqlSession* owner, TMySqlFieldInfos columns);

    TMySqlSession* Owner() const { return owner_; }
    void Detach() { owner_ = nullptr; }
    size_t ColumnCount() const { return columns_.size(); }
    const TMySqlFieldInfos& Columns() const { return columns_; }
    uint64_t Fetched() const { return fetched_; }
    bool Eof() const { return eof_; }
    const TMySqlBinds& Binds() const { return binds_; }

    // The next row, or none at the end marker. Raises on a server error or bad input.
    const TMySqlBinds* FetchRow();

private:
    TMySqlSession* owner_;
    TMySqlFieldInfos columns_;
    uint64_t fetched_ = 0;
    bool eof_ = false;
    TMySqlBinds binds_;
};

}  // namespace tharvel
