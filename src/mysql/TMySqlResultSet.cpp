#include "mysql/TMySqlResultSet.h"

#include <vector>

#include "mysql/TMySqlSession.h"

namespace tharvel {

TMySqlResultSet::TMySqlResultSet(TMySqlSession* owner, TMySqlFieldInfos columns)
    : owner_(owner), columns_(std::move(columns)), binds_(columns_.size()) {
    for (size_t i = 0; i < columns_.size(); ++i) binds_.SetType(i, columns_[i].Type);
}

TMySqlResultSet::~TMySqlResultSet() {
    // Joins a reading thread; the connection's state no longer matters here.
    ahead_.reset();
}

const TMySqlBinds* TMySqlResultSet::FetchRow() {
    if (eof_ || !owner_) return nullptr;
    std::span<const uint8_t> packet;
    if (ahead_) {
        try {
            packet = ahead_->next();
        } catch (...) {
            ahead_.reset();  // failed: the connection is as a direct read would leave it
            throw;
        }
    } else {
        owner_->Net.ReadPacket();
        packet = owner_->Net.Packet();
    }
    if (!TMySqlReadAhead::IsEndMarker(packet)) {
        binds_.Decode(packet);
        ++fetched_;
        return &binds_;
    }
    end(packet);
    return nullptr;
}

void TMySqlResultSet::end(std::span<const uint8_t> marker) {
    if (marker.size() >= 5) {
        owner_->WarningCount = static_cast<uint16_t>(marker[1] | marker[2] << 8);
        owner_->ServerStatus = static_cast<uint16_t>(marker[3] | marker[4] << 8);
    }
    owner_->Status = 0;
    eof_ = true;
    ahead_.reset();
}

void TMySqlResultSet::StartReadAhead() {
    if (ahead_ || eof_ || !owner_) return;
    ahead_ = std::make_unique<TMySqlReadAhead>(owner_->Net, columns_.size());
}

void TMySqlResultSet::StopReadAhead() {
    if (!ahead_) return;
    ahead_->Stop();
    if (ahead_->finished() && owner_) {
        // The rows it read ahead are dropped, as reading past them would drop them.
        std::vector<uint8_t> marker = ahead_->EndMarker();
        end(marker);  // after a failure too: nothing of the result is left to read
    }
    ahead_.reset();
}

}  // namespace tharvel
