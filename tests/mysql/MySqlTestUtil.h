#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "mysql/MySqlConnection.h"
#include "mysql/ResultSet.h"
#include "mysql/Session.h"
#include "support/MariaDb.h"

namespace tharvel::test {

// A connection to a test server with its user, not yet opened.
inline std::unique_ptr<MySqlConnection> connectionTo(const MariaDb& db, const std::string& database = "") {
    auto c = std::make_unique<MySqlConnection>();
    c->setServer(db.host());
    c->setPort(db.port());
    c->setUsername(db.user());
    c->setPassword(db.password());
    c->setDatabase(database);
    return c;
}

// A session driven without a connection, keeping the error of its last operation.
struct DrivenSession {
    Session session;
    int errorNumber = 0;
    std::string error;

    // Runs an operation of the session; false when it raised, the error then kept.
    template <class Operation>
    bool attempt(Operation&& operation) {
        errorNumber = 0;
        error.clear();
        try {
            operation();
            return true;
        } catch (const MySqlError& e) {
            errorNumber = e.errorNumber();
            error = e.what();
            return false;
        }
    }
    bool connect(int port, const std::string& user = "u", const std::string& password = "pw",
                 const std::string& db = "", uint32_t flags = 2 + 65536) {
        session.connectTimeout = 10;
        return attempt([&] { session.connect("127.0.0.1", user, password, db, port, flags); });
    }
    // 0, or the number of the error it raised.
    int query(std::string_view sql) {
        return attempt([&] { session.query(sql); }) ? 0 : errorNumber;
    }
    std::unique_ptr<ResultSet> useResult() {
        std::unique_ptr<ResultSet> result;
        attempt([&] { result = session.useResult(); });
        return result;
    }
    const RowValues* fetchRow(ResultSet& result) {
        const RowValues* row = nullptr;
        attempt([&] { row = result.fetchRow(); });
        return row;
    }
};

}  // namespace tharvel::test
