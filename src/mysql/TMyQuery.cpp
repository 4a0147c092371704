#include "mysql/TMyQuery.h"

#include <stdexcept>

#include "mysql/EMySqlException.h"
#include "mysql/TMySQLAPIDirect.h"
#include "mysql/TMySqlResultSet.h"

namespace tharvel {

TMyQuery::TMyQuery(TMyConnection& connection) : connection_(connection) {}

TMyQuery::~TMyQuery() {
    try {
        close();
    } catch (...) {
    }
}

void TMyQuery::send(std::string_view sql) {
    close();
    connection_.BeginUse();
    inUse_ = true;
    TMySQLAPIDirect& api = TMySQLAPIDirect::Instance();
    TMySqlSession* h = connection_.Handle();
    int timeout = commandTimeout_ > 0 ? commandTimeout_ : 31536000;
    api.mysql_options(h, 11, timeout);
    api.mysql_options(h, 12, timeout);
    if (api.mysql_real_query(h, sql.data(), sql.size()) != 0) connection_.RaiseStoredError();
    affected_ = api.mysql_affected_rows(h);
}

bool TMyQuery::Open(std::string_view sql) {
    send(sql);
    TMySQLAPIDirect& api = TMySQLAPIDirect::Instance();
    TMySqlSession* h = connection_.Handle();
    result_ = api.mysql_use_result(h);
    if (api.mysql_errno(h) != 0) connection_.RaiseStoredError();
    if (!result_) return false;
    if (readAhead_) result_->StartReadAhead();
    bool widen = connection_.UnicodeInForce() && !h->Protocol41();
    for (size_t i = 0; i < api.mysql_num_fields(result_); ++i) {
        TMySqlFieldInfo f = api.mysql_fetch_field_direct(result_, i);
        if (widen && !f.Table.empty() &&
            (f.Type == 15 || f.Type == 247 || f.Type == 248 || f.Type == 253 || f.Type == 254))
            f.Length *= 3;
        fields_.push_back(std::move(f));
    }
    return true;
}

void TMyQuery::execute(std::string_view sql) {
    send(sql);
    TMySQLAPIDirect& api = TMySQLAPIDirect::Instance();
    TMySqlSession* h = connection_.Handle();
    for (;;) {
        TMySqlResultSet* result = api.mysql_use_result(h);
        if (api.mysql_errno(h) != 0) connection_.RaiseStoredError();
        api.mysql_free_result(result);
        int next = api.mysql_next_result(h);
        if (next > 0) connection_.RaiseStoredError();
        if (next < 0) break;
    }
    close();
}

bool TMyQuery::next() {
    row_ = nullptr;
    if (!result_) return false;
    if (!result_->Owner())
        throw EMyError(CR_SERVER_GONE_ERROR, EMySqlException::ClientErrorText(CR_SERVER_GONE_ERROR),
                       &connection_);
    TMySQLAPIDirect& api = TMySQLAPIDirect::Instance();
    TMySqlSession* h = result_->Owner();
    row_ = api.mysql_fetch_row(result_);
    if (row_) {
        ++fetched_;
        return true;
    }
    if (api.mysql_errno(h) != 0) connection_.RaiseStoredError();
    return false;
}

void TMyQuery::badColumn(size_t column) const {
    if (!row_) throw std::logic_error("no current row");
    // A server may answer with fewer columns than the statement asked for.
    throw EMyError(CR_MALFORMED_PACKET,
                   EMySqlException::BuildMessage(CR_MALFORMED_PACKET, {},
                                                 "The result has " + std::to_string(row_->Count()) +
                                                     " columns, column " + std::to_string(column + 1) +
                                                     " was asked for"),
                   &connection_);
}

void TMyQuery::freeResult() {
    row_ = nullptr;
    if (result_) TMySQLAPIDirect::Instance().mysql_free_result(result_);
    result_ = nullptr;
}

void TMyQuery::close() {
    freeResult();
    fields_.clear();
    fetched_ = 0;
    if (!inUse_) return;
    inUse_ = false;
    struct GiveBack {
        TMyConnection& c;
        ~GiveBack() { c.EndUse(); }
    } giveBack{connection_};
    if (!connection_.Connected()) return;
    // Further results of a multi-statement text must be read before the next command.
    TMySQLAPIDirect& api = TMySQLAPIDirect::Instance();
    TMySqlSession* h = connection_.Handle();
    for (;;) {
        int next = api.mysql_next_result(h);
        if (next < 0) break;
        if (next > 0) connection_.RaiseStoredError();
        api.mysql_free_result(api.mysql_use_result(h));
    }
}

}  // namespace tharvel
