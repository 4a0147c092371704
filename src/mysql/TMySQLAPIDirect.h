#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "mysql/TMySqlFieldInfo.h"
#include "mysql/TMySqlResultSet.h"
#include "mysql/TMySqlSession.h"

namespace tharvel {

// The client API, one object for the process. Each operation that talks to the server
// clears the handle's last error first and, on a failure of the client, stores its
// number and text and returns its failure result.
class TMySQLAPIDirect {
public:
    static TMySQLAPIDirect& Instance();

    TMySqlSession* mysql_init();
    // 0 connect timeout; 2 named pipe; 9 protocol; 11 and 12 read/write timeout.
    int mysql_options(TMySqlSession* mysql, int option, int value);
    TMySqlSession* mysql_real_connect(TMySqlSession* mysql, const std::string& host, const std::string& user,
                                      const std::string& password, const std::string& database, int port,
                                      const std::string& socketName, uint32_t clientFlags);
    // Sends quit, closes and frees the handle; never fails.
    void mysql_close(TMySqlSession* mysql);

    int mysql_real_query(TMySqlSession* mysql, const char* text, size_t length);
    int64_t mysql_field_count(TMySqlSession* mysql) const { return mysql->FieldCount; }
    TMySqlResultSet* mysql_use_result(TMySqlSession* mysql);
    size_t mysql_num_fields(const TMySqlResultSet* result) const { return result->ColumnCount(); }
    // Column i as handed up: underlying name defaulted, display length at most 65535.
    TMySqlFieldInfo mysql_fetch_field_direct(const TMySqlResultSet* result, size_t i) const;
    const TMySqlBinds* mysql_fetch_row(TMySqlResultSet* result);
    void mysql_fetch_lengths(const TMySqlResultSet* result, std::vector<uint32_t>& lengths) const;
    void mysql_free_result(TMySqlResultSet* result);
    uint64_t mysql_affected_rows(TMySqlSession* mysql) const { return mysql->AffectedRows; }
    uint64_t mysql_insert_id(TMySqlSession* mysql) const { return mysql->InsertId; }
    const std::string& mysql_info(TMySqlSession* mysql) const { return mysql->Info; }
    bool mysql_more_results(TMySqlSession* mysql) const {
        return mysql->ServerStatus & SERVER_MORE_RESULTS_EXISTS;
    }
    // 0 when a next result was read, -1 when there is none, else the error number.
    int mysql_next_result(TMySqlSession* mysql);
    int mysql_select_db(TMySqlSession* mysql, const std::string& database);
    int mysql_ping(TMySqlSession* mysql);
    int mysql_kill(TMySqlSession* mysql, uint32_t threadId);
    int mysql_errno(TMySqlSession* mysql) const { return mysql->LastErrno; }
    const std::string& mysql_error(TMySqlSession* mysql) const { return mysql->LastError; }
    const std::string& mysql_get_server_info(TMySqlSession* mysql) const { return mysql->ServerVersion; }
    const char* mysql_get_client_info() const { return TMySqlSession::kClientVersion; }
    const std::string& mysql_get_host_info(TMySqlSession* mysql) const { return mysql->HostInfo; }
    uint32_t mysql_thread_id(TMySqlSession* mysql) const { return mysql->ThreadId; }

    // Size of the shared query buffer (it grows to the longest text and is reused).
    size_t QueryBufferSize();

private:
    TMySQLAPIDirect() = default;
    std::mutex lock_;
    std::vector<char> queryBuffer_;
};

}  // namespace tharvel
