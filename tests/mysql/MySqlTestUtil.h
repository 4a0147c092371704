#pragma once
#include <memory>
#include <string>

#include "mysql/TMyConnection.h"
#include "support/MariaDb.h"

namespace tharvel::test {

// A connection to a test server with its user, not yet opened.
inline std::unique_ptr<TMyConnection> connectionTo(const MariaDb& db, const std::string& database = "") {
    auto c = std::make_unique<TMyConnection>();
    c->SetLoginPrompt(false);
    c->SetServer(db.host());
    c->SetPort(db.port());
    c->SetUsername(db.user());
    c->SetPassword(db.password());
    c->SetDatabase(database);
    return c;
}

}  // namespace tharvel::test
