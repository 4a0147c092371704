#include "mysql/ResultSet.h"

#include <vector>

#include "mysql/MySqlError.h"
#include "mysql/Session.h"

namespace tharvel {

ResultSet::ResultSet(Session* owner, FieldInfos columns)
    : owner_(owner), columns_(std::move(columns)), values_(columns_.size()) {}

ResultSet::~ResultSet() {
    try {
        close();
    } catch (...) {
    }
    // Joins a reading thread; the connection's state no longer matters here.
    ahead_.reset();
}

void ResultSet::close() {
    Session* session = owner_;
    if (!session) return;
    try {
        stopReadAhead();
        if (session->status != 0 && session->currentResult == this) session->discardRows();
        detach();
    } catch (const MySqlError&) {
        owner_ = nullptr;
    }
    if (session->currentResult == this) session->currentResult = nullptr;
}

const RowValues* ResultSet::fetchRow() {
    if (eof_ || !owner_) return nullptr;
    try {
        return readRow();
    } catch (const MySqlError&) {
        // The result ends here: unless the server announced more, a new command may follow.
        if (!(owner_->serverStatus & SERVER_MORE_RESULTS_EXISTS)) owner_->status = 0;
        throw;
    }
}

const RowValues* ResultSet::readRow() {
    std::span<const uint8_t> packet;
    if (ahead_) {
        try {
            packet = ahead_->next();
        } catch (...) {
            ahead_.reset();  // failed: the connection is as a direct read would leave it
            throw;
        }
    } else {
        owner_->net.readPacket();
        packet = owner_->net.packet();
    }
    if (!ReadAhead::isEndMarker(packet)) {
        values_.decode(packet);
        ++fetched_;
        return &values_;
    }
    end(packet);
    return nullptr;
}

void ResultSet::end(std::span<const uint8_t> marker) {
    if (marker.size() >= 5) {
        owner_->warningCount = static_cast<uint16_t>(marker[1] | marker[2] << 8);
        owner_->serverStatus = static_cast<uint16_t>(marker[3] | marker[4] << 8);
    }
    owner_->status = 0;
    eof_ = true;
    ahead_.reset();
}

void ResultSet::startReadAhead() {
    if (ahead_ || eof_ || !owner_) return;
    ahead_ = std::make_unique<ReadAhead>(owner_->net, columns_.size());
}

void ResultSet::stopReadAhead() {
    if (!ahead_) return;
    ahead_->stop();
    if (ahead_->finished() && owner_) {
        // The rows it read ahead are dropped, as reading past them would drop them.
        std::vector<uint8_t> marker = ahead_->endMarker();
        end(marker);  // after a failure too: nothing of the result is left to read
    }
    ahead_.reset();
}

}  // namespace tharvel
