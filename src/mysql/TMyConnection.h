#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "mysql/EMyError.h"
#include "mysql/TMyConnectionOptions.h"

namespace tharvel {

class TMySQLConnection;
class TMySqlSession;

// A connection to a MySQL or MariaDB server, speaking the protocol itself over TCP.
//
//   TMyConnection conn;
//   conn.SetServer("127.0.0.1");          // empty means "localhost"
//   conn.SetPort(3306);
//   conn.SetUsername("backup");
//   conn.SetPassword(password);
//   conn.SetDatabase("shop");
//   conn.Options().SetCharset("utf8mb4"); // "SET NAMES utf8mb4" after login (default "utf8")
//   conn.Open();                          // EMyError on failure (2003, 1045, 1049, ...)
//
//   conn.ExecSQL("SET SQL_QUOTE_SHOW_CREATE = 1");   // a statement without rows
//
//   TMyQuery q(conn);                     // see mysql/TMyQuery.h
//   q.Open("SELECT * FROM `orders`");     // rows are streamed, one at a time
//   for (const TMySqlFieldInfo& f : q.Fields())      // Name, Type, Flags, Length, Charset...
//       use(f.Name, f.Type, f.Flags & TMySqlFieldInfo::kNumericFlag);
//   while (q.next()) {
//       for (size_t i = 0; i < q.FieldCount(); ++i) {
//           if (q.IsNull(i)) { /* SQL NULL */ continue; }
//           std::string_view v = q.Value(i);  // the server's bytes; valid until next()
//       }
//   }
//   q.close();                            // also done by the destructor; unread rows are skipped
//
// Errors of an open connection arrive as EMyError; one of the connection-lost class
// (IsConnectionLost: 1053, 2003, 2006, 2013) closes the connection first. One
// connection is used by one thread at a time.
class TMyConnection {
public:
    TMyConnection();
    ~TMyConnection();
    TMyConnection(const TMyConnection&) = delete;
    TMyConnection& operator=(const TMyConnection&) = delete;

    // Changing the server, user, password or port closes an open connection.
    const std::string& Server() const { return server_; }
    void SetServer(const std::string& server);
    int Port() const { return port_; }
    void SetPort(int port);
    const std::string& Username() const { return username_; }
    void SetUsername(const std::string& username);
    const std::string& Password() const { return password_; }
    void SetPassword(const std::string& password);
    // On an open connection the database is selected at once.
    const std::string& Database() const { return database_; }
    void SetDatabase(const std::string& database);
    // Seconds for the TCP connect, the login and the "SET NAMES" statement (0: no limit).
    int ConnectionTimeout() const { return connectionTimeout_; }
    void SetConnectionTimeout(int seconds) { connectionTimeout_ = seconds; }
    bool LoginPrompt() const { return loginPrompt_; }
    void SetLoginPrompt(bool on) { loginPrompt_ = on; }
    TMyConnectionOptions& Options() { return options_; }
    const TMyConnectionOptions& Options() const { return options_; }

    bool Connected() const;
    void SetConnected(bool on);
    void Open() { SetConnected(true); }
    void close() { SetConnected(false); }

    // The version exactly as the server's greeting gave it; empty while closed.
    std::string ServerVersionText() const;
    int ServerMajorVersion() const;
    int ServerMinorVersion() const;
    int ServerReleaseVersion() const;
    // "4.1.3 Direct".
    std::string ClientVersionText() const;
    // The server's id of this connection (for a kill from another connection).
    uint32_t ThreadId() const;

    // Data components hold the connection between BeginUse and EndUse; BeginUse opens it.
    void BeginUse();
    void EndUse();
    int UseCount() const { return useCount_; }

    // Runs an SQL text whose results are not read (rows, if any, are skipped); returns
    // the rows affected by its last statement. commandTimeout 0 means one year.
    uint64_t ExecSQL(std::string_view sql, int commandTimeout = 0);
    void Ping();
    void Kill(uint32_t threadId);

    // For the query objects: the open handle (EMyError 2006 when closed) and the raise
    // of the handle's stored error, after the connection-lost processing.
    TMySqlSession* Handle();
    [[noreturn]] void RaiseStoredError();
    bool UnicodeInForce() const;

private:
    void connect();
    void disconnect();

    std::string server_;
    int port_ = 3306;
    std::string database_;
    std::string username_;
    std::string password_;
    int connectionTimeout_ = 15;
    bool loginPrompt_ = true;
    TMyConnectionOptions options_;
    std::unique_ptr<TMySQLConnection> internal_;
    int useCount_ = 0;
};

}  // namespace tharvel
