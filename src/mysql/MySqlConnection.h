#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "mysql/ConnectionOptions.h"
#include "mysql/MySqlError.h"

namespace tharvel {

class Session;

// A connection to a MySQL or MariaDB server, speaking the protocol itself over TCP.
//
//   MySqlConnection conn;
//   conn.setServer("127.0.0.1");          // empty means "localhost"
//   conn.setPort(3306);
//   conn.setUsername("backup");
//   conn.setPassword(password);
//   conn.setDatabase("shop");
//   conn.options().setCharset("utf8mb4"); // "SET NAMES utf8mb4" after login (default "utf8")
//   conn.open();                          // MySqlError on failure (2003, 1045, 1049, ...)
//
//   conn.execSql("SET SQL_QUOTE_SHOW_CREATE = 1");   // a statement without rows
//
//   MySqlQuery q(conn);                   // see mysql/MySqlQuery.h
//   q.open("SELECT * FROM `orders`");     // rows are streamed, one at a time
//   for (const FieldInfo& f : q.fields())            // name, type, flags, length, charset...
//       use(f.name, f.type, f.flags & kNumericFlag);
//   while (q.next()) {
//       for (size_t i = 0; i < q.fieldCount(); ++i) {
//           if (q.isNull(i)) { /* SQL NULL */ continue; }
//           std::string_view v = q.value(i);  // the server's bytes; valid until next()
//       }
//   }
//   q.close();                            // also done by the destructor; unread rows are skipped
//
// Errors of an open connection arrive as MySqlError; one of the connection-lost class
// (isConnectionLost: 1053, 2003, 2006, 2013) closes the connection first. One
// connection is used by one thread at a time.
class MySqlConnection {
public:
    MySqlConnection();
    ~MySqlConnection();
    MySqlConnection(const MySqlConnection&) = delete;
    MySqlConnection& operator=(const MySqlConnection&) = delete;

    // Changing the server, user, password or port closes an open connection.
    const std::string& server() const { return server_; }
    void setServer(const std::string& server);
    int port() const { return port_; }
    void setPort(int port);
    const std::string& username() const { return username_; }
    void setUsername(const std::string& username);
    const std::string& password() const { return password_; }
    void setPassword(const std::string& password);
    // On an open connection the database is selected at once.
    const std::string& database() const { return database_; }
    void setDatabase(const std::string& database);
    // Seconds for the TCP connect, the login and the "SET NAMES" statement (0: no limit).
    void setConnectionTimeout(int seconds) { connectionTimeout_ = seconds; }
    ConnectionOptions& options() { return options_; }
    const ConnectionOptions& options() const { return options_; }

    bool connected() const { return session_ != nullptr; }
    // Logs in unless open already.
    void open();
    void close();

    // The version exactly as the server's greeting gave it; empty while closed.
    std::string serverVersionText() const;
    int serverMajorVersion() const;
    int serverMinorVersion() const;
    int serverReleaseVersion() const;
    // "4.1.3 Direct".
    std::string clientVersionText() const;
    // The server's id of this connection (for a kill from another connection).
    uint32_t threadId() const;

    // Runs an SQL text whose results are not read (rows, if any, are skipped); returns
    // the rows affected by its last statement. commandTimeout 0 means one year.
    uint64_t execSql(std::string_view sql, int commandTimeout = 0);
    void kill(uint32_t threadId);

    // Parses "major.minor.release..." into its three numbers; a part that is not a
    // number raises "'%s' is not a valid integer value".
    static void parseVersion(const std::string& text, int& major, int& minor, int& release);

private:
    friend class MySqlQuery;

    // The open session; MySqlError 2006 when closed.
    Session& session();
    // Runs an operation of the session; an error of the connection-lost class closes
    // the connection before it passes on.
    template <class Operation>
    decltype(auto) guarded(Operation&& operation) {
        try {
            return operation();
        } catch (const MySqlError& e) {
            if (e.isConnectionLost()) close();
            throw;
        }
    }
    bool unicodeInForce() const { return connected() && unicodeInForce_; }

    std::string server_;
    int port_ = 3306;
    std::string database_;
    std::string username_;
    std::string password_;
    int connectionTimeout_ = 15;
    ConnectionOptions options_;
    std::unique_ptr<Session> session_;
    bool unicodeInForce_ = false;
    std::string serverVersion_;
    int major_ = 0, minor_ = 0, release_ = 0;
};

}  // namespace tharvel
