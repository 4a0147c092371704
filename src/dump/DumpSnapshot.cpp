#include "dump/DumpSnapshot.h"

#include "dump/SqlIdentifier.h"
#include "dump/StoredObjects.h"
#include "mysql/MySqlConnection.h"
#include "mysql/MySqlError.h"
#include "mysql/MySqlQuery.h"

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

DumpSnapshot::DumpSnapshot(MySqlConnection& connection, const Warning& warning) : connection_(connection) {
    std::string lockList;
    bool transactional = true;
    auto read = [&](const char* sql) {
        MySqlQuery q(connection_);
        q.open(sql);
        while (q.next()) {
            // Views are locked too: under LOCK TABLES the session may read nothing else.
            if (!lockList.empty()) lockList.append(", ");
            lockList.append(SqlIdentifier::quoted(q.value(0))).append(" READ");
            bool view = !q.isNull(1) && q.value(1) == "VIEW";
            if (!view && (q.isNull(2) || q.value(2) != "YES")) transactional = false;
        }
    };
    try {
        read(
            "SELECT t.TABLE_NAME, t.TABLE_TYPE, e.TRANSACTIONS FROM information_schema.TABLES t LEFT "
            "JOIN "
            "information_schema.ENGINES e ON e.ENGINE = t.ENGINE WHERE t.TABLE_SCHEMA = DATABASE()");
    } catch (const MySqlError& e) {
        if (e.isConnectionLost()) throw;
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
            connection_.execSql("LOCK TABLES " + lockList);
            mode_ = Mode::Locks;
            return;
        } catch (const MySqlError& e) {
            if (e.isConnectionLost()) throw;
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
            MySqlQuery q(connection_);
            q.open(std::string("SELECT @@SESSION.") + variable);
            if (q.next() && !q.isNull(0)) savedIsolation_ = isolationLevel(q.value(0));
            isolationVariable_ = variable;
            break;
        } catch (const MySqlError& e) {
            if (e.isConnectionLost()) throw;
        }
    }
    if (savedIsolation_ != "REPEATABLE READ")
        connection_.execSql("SET SESSION TRANSACTION ISOLATION LEVEL REPEATABLE READ");
    else
        savedIsolation_.clear();
    connection_.execSql("START TRANSACTION WITH CONSISTENT SNAPSHOT");
    mode_ = Mode::Snapshot;
}

DumpSnapshot::~DumpSnapshot() {
    // A lost connection has ended the transaction or the locks on its own.
    try {
        if (mode_ == Mode::Locks) connection_.execSql("UNLOCK TABLES");
        if (mode_ == Mode::Snapshot) connection_.execSql("COMMIT");
        if (!savedIsolation_.empty())
            connection_.execSql("SET SESSION TRANSACTION ISOLATION LEVEL " + savedIsolation_);
    } catch (...) {
    }
}

}  // namespace tharvel
