#include "dump/DumpSnapshot.h"

#include "dump/SqlIdentifier.h"
#include "dump/StoredObjects.h"
#include "mysql/EMyError.h"
#include "mysql/TMyConnection.h"
#include "mysql/TMyQuery.h"

namespace tharvel {
namespace {

// The level as SET TRANSACTION writes it, or empty for a value no server sends.
std::string isolationLevel(std::string_view value) {
    for (const char* level : {"READ-UNCOMMITTED", "READ-COMMITTED", "REPEATABLE-READ", "SERIALIZABLE"}) {
        std::string text(level);
        if (value == text) {
            for (char& c : text)
                if (c == '-') c = ' ';
            return text;
        }
    }
    return {};
}

}  // namespace

DumpSnapshot::DumpSnapshot(TMyConnection& connection, const Warning& warning) : connection_(connection) {
    std::string lockList;
    bool transactional = true;
    auto read = [&](const char* sql) {
        TMyQuery q(connection_);
        q.Open(sql);
        while (q.next()) {
            // Views are locked too: under LOCK TABLES the session may read nothing else.
            if (!lockList.empty()) lockList.append(", ");
            lockList.append(SqlIdentifier::quoted(q.Value(0))).append(" READ");
            bool view = !q.IsNull(1) && q.Value(1) == "VIEW";
            if (!view && (q.IsNull(2) || q.Value(2) != "YES")) transactional = false;
        }
    };
    try {
        read(
            "SELECT t.TABLE_NAME, t.TABLE_TYPE, e.TRANSACTIONS FROM information_schema.TABLES t LEFT "
            "JOIN "
            "information_schema.ENGINES e ON e.ENGINE = t.ENGINE WHERE t.TABLE_SCHEMA = DATABASE()");
    } catch (const EMyError& e) {
        if (e.IsConnectionLost()) throw;
        // Before 5.1 there is no ENGINES table; InnoDB was the transactional engine in use.
        lockList.clear();
        transactional = true;
        read(
            "SELECT TABLE_NAME, TABLE_TYPE, IF(ENGINE IN ('InnoDB', 'BerkeleyDB', 'ndbcluster'), 'YES', "
            "'NO') "
            "FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE()");
    }
    if (!transactional) {
        try {
            connection_.ExecSQL("LOCK TABLES " + lockList);
            mode_ = Mode::Locks;
            return;
        } catch (const EMyError& e) {
            if (e.IsConnectionLost()) throw;
            if (warning)
                warning("Tables cannot be locked for the dump (" + StoredObjects::serverMessage(e) +
                        "); tables that are not transactional may be dumped at different moments");
        }
    }
    startSnapshot();
}

void DumpSnapshot::startSnapshot() {
    // MySQL 8 knows only the new name of the variable, older servers only the old one.
    for (const char* variable : {"tx_isolation", "transaction_isolation"}) {
        try {
            TMyQuery q(connection_);
            q.Open(std::string("SELECT @@SESSION.") + variable);
            if (q.next() && !q.IsNull(0)) savedIsolation_ = isolationLevel(q.Value(0));
            isolationVariable_ = variable;
            break;
        } catch (const EMyError& e) {
            if (e.IsConnectionLost()) throw;
        }
    }
    if (savedIsolation_ != "REPEATABLE READ")
        connection_.ExecSQL("SET SESSION TRANSACTION ISOLATION LEVEL REPEATABLE READ");
    else
        savedIsolation_.clear();
    connection_.ExecSQL("START TRANSACTION WITH CONSISTENT SNAPSHOT");
    mode_ = Mode::Snapshot;
}

DumpSnapshot::~DumpSnapshot() {
    // A lost connection has ended the transaction or the locks on its own.
    try {
        if (mode_ == Mode::Locks) connection_.ExecSQL("UNLOCK TABLES");
        if (mode_ == Mode::Snapshot) connection_.ExecSQL("COMMIT");
        if (!savedIsolation_.empty())
            connection_.ExecSQL("SET SESSION TRANSACTION ISOLATION LEVEL " + savedIsolation_);
    } catch (...) {
    }
}

}  // namespace tharvel
