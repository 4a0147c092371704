#include "mysql/TMySqlResultSet.h"

#include "mysql/TMySqlSession.h"

namespace tharvel {

TMySqlResultSet::TMySqlResultSet(TMySqlSession* owner, TMySqlFieldInfos columns)
    : owner_(owner), columns_(std::move(columns)), binds_(columns_.size()) {
    for (size_t i = 0; i < columns_.size(); ++i) binds_.SetType(i, columns_[i].Type);
}

const TMySqlBinds* TMySqlResultSet::FetchRow() {
    if (eof_ || !owner_) return nullptr;
    owner_->Net.ReadPacket();
    auto packet = owner_->Net.Packet();
    if (packet.size() > 8 || packet.empty() || packet[0] != 254) {
        binds_.Decode(packet);
        ++fetched_;
        return &binds_;
    }
    if (packet.size() >= 5) {
        owner_->WarningCount = static_cast<uint16_t>(packet[1] | packet[2] << 8);
        owner_->ServerStatus = static_cast<uint16_t>(packet[3] | packet[4] << 8);
    }
    owner_->Status = 0;
    eof_ = true;
    return nullptr;
}

}  // namespace tharvel
