#include "mysql/TMySQLAPIDirect.h"

#include <cstring>

#include "mysql/EMySqlException.h"

namespace tharvel {
namespace {

void clearError(TMySqlSession* mysql) {
    mysql->LastErrno = 0;
    mysql->LastError.clear();
}

void store(TMySqlSession* mysql, const EMySqlException& e) {
    mysql->LastErrno = e.ErrorNumber();
    mysql->LastError = e.what();
}

std::string statusDetail(const TMySqlSession* mysql) {
    return "mysql.status = " + std::to_string(mysql->Status);
}

}  // namespace

TMySQLAPIDirect& TMySQLAPIDirect::Instance() {
    static TMySQLAPIDirect api;
    return api;
}

TMySqlSession* TMySQLAPIDirect::mysql_init() {
    return new TMySqlSession();
}

int TMySQLAPIDirect::mysql_options(TMySqlSession* mysql, int option, int value) {
    switch (option) {
        case 0:
            mysql->ConnectTimeout = value;
            break;
        case 2:
            mysql->Protocol = 3;
            break;
        case 9:
            mysql->Protocol = value;
            break;
        case 11:
        case 12:
            mysql->ReadWriteTimeout = value;
            break;
        default:
            break;
    }
    return 0;
}

TMySqlSession* TMySQLAPIDirect::mysql_real_connect(TMySqlSession* mysql, const std::string& host,
                                                   const std::string& user, const std::string& password,
                                                   const std::string& database, int port,
                                                   const std::string& socketName, uint32_t clientFlags) {
    clearError(mysql);
    try {
        mysql->Connect(host, user, password, database, port, socketName, clientFlags);
        return mysql;
    } catch (const EMySqlException& e) {
        store(mysql, e);
        return nullptr;
    }
}

void TMySQLAPIDirect::mysql_close(TMySqlSession* mysql) {
    if (!mysql) return;
    if (mysql->CurrentResult) mysql->CurrentResult->StopReadAhead();
    mysql->close();
    if (mysql->CurrentResult) mysql->CurrentResult->Detach();
    mysql->CurrentResult = nullptr;
    delete mysql;
}

int TMySQLAPIDirect::mysql_real_query(TMySqlSession* mysql, const char* text, size_t length) {
    clearError(mysql);
    try {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (queryBuffer_.size() < length) queryBuffer_.resize(length);
            if (length) std::memcpy(queryBuffer_.data(), text, length);
            mysql->SendCommand(COM_QUERY, queryBuffer_.data(), length, false);
        }
        mysql->ReadQueryResult();
        return 0;
    } catch (const EMySqlException& e) {
        store(mysql, e);
        return e.ErrorNumber() ? e.ErrorNumber() : CR_UNKNOWN_ERROR;
    }
}

size_t TMySQLAPIDirect::QueryBufferSize() {
    std::lock_guard<std::mutex> guard(lock_);
    return queryBuffer_.size();
}

TMySqlResultSet* TMySQLAPIDirect::mysql_use_result(TMySqlSession* mysql) {
    clearError(mysql);
    try {
        if (!mysql->HasPendingColumns) return nullptr;
        if (mysql->Status != 1)
            throw EMySqlException::ClientDetail(CR_COMMANDS_OUT_OF_SYNC, statusDetail(mysql));
        auto* result = new TMySqlResultSet(mysql, std::move(mysql->PendingColumns));
        mysql->PendingColumns.clear();
        mysql->HasPendingColumns = false;
        mysql->CurrentResult = result;
        mysql->Status = 2;
        return result;
    } catch (const EMySqlException& e) {
        store(mysql, e);
        return nullptr;
    }
}

TMySqlFieldInfo TMySQLAPIDirect::mysql_fetch_field_direct(const TMySqlResultSet* result, size_t i) const {
    TMySqlFieldInfo f = result->Columns().at(i);
    if (f.OrgName.empty()) f.OrgName = f.Name;
    if (f.Length > 65535) f.Length = 65535;
    return f;
}

const TMySqlBinds* TMySQLAPIDirect::mysql_fetch_row(TMySqlResultSet* result) {
    TMySqlSession* mysql = result->Owner();
    if (!mysql) return nullptr;
    clearError(mysql);
    try {
        return result->FetchRow();
    } catch (const EMySqlException& e) {
        store(mysql, e);
        if (!(mysql->ServerStatus & SERVER_MORE_RESULTS_EXISTS)) mysql->Status = 0;
        return nullptr;
    }
}

void TMySQLAPIDirect::mysql_fetch_lengths(const TMySqlResultSet* result,
                                          std::vector<uint32_t>& lengths) const {
    const TMySqlBinds& binds = result->Binds();
    lengths.resize(binds.Count());
    for (size_t i = 0; i < binds.Count(); ++i) lengths[i] = binds.Bind(i).Length;
}

void TMySQLAPIDirect::mysql_free_result(TMySqlResultSet* result) {
    if (!result) return;
    TMySqlSession* mysql = result->Owner();
    try {
        if (mysql) {
            result->StopReadAhead();
            if (mysql->Status != 0 && mysql->CurrentResult == result) mysql->DiscardRows();
            result->Detach();
            if (mysql->CurrentResult == result) mysql->CurrentResult = nullptr;
        }
    } catch (const EMySqlException& e) {
        if (mysql->CurrentResult == result) mysql->CurrentResult = nullptr;
    }
    delete result;
}

int TMySQLAPIDirect::mysql_next_result(TMySqlSession* mysql) {
    clearError(mysql);
    try {
        if (mysql->Status != 0)
            throw EMySqlException::ClientDetail(CR_COMMANDS_OUT_OF_SYNC, statusDetail(mysql));
        mysql->AffectedRows = static_cast<uint64_t>(-1);
        if (!(mysql->ServerStatus & SERVER_MORE_RESULTS_EXISTS)) return -1;
        mysql->ReadQueryResult();
        return 0;
    } catch (const EMySqlException& e) {
        store(mysql, e);
        return e.ErrorNumber() ? e.ErrorNumber() : CR_UNKNOWN_ERROR;
    }
}

int TMySQLAPIDirect::mysql_select_db(TMySqlSession* mysql, const std::string& database) {
    clearError(mysql);
    try {
        mysql->SendCommand(COM_INIT_DB, database.data(), database.size());
        mysql->Database = database;
        return 0;
    } catch (const EMySqlException& e) {
        store(mysql, e);
        return e.ErrorNumber() ? e.ErrorNumber() : CR_UNKNOWN_ERROR;
    }
}

int TMySQLAPIDirect::mysql_ping(TMySqlSession* mysql) {
    clearError(mysql);
    try {
        mysql->SendCommand(COM_PING, nullptr, 0);
        return 0;
    } catch (const EMySqlException& e) {
        store(mysql, e);
        return e.ErrorNumber() ? e.ErrorNumber() : CR_UNKNOWN_ERROR;
    }
}

int TMySQLAPIDirect::mysql_kill(TMySqlSession* mysql, uint32_t threadId) {
    clearError(mysql);
    try {
        uint8_t id[4] = {static_cast<uint8_t>(threadId), static_cast<uint8_t>(threadId >> 8),
                         static_cast<uint8_t>(threadId >> 16), static_cast<uint8_t>(threadId >> 24)};
        mysql->SendCommand(COM_PROCESS_KILL, id, 4);
        return 0;
    } catch (const EMySqlException& e) {
        store(mysql, e);
        return e.ErrorNumber() ? e.ErrorNumber() : CR_UNKNOWN_ERROR;
    }
}

}  // namespace tharvel
