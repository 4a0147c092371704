#include "mysql/MySqlQuery.h"

#include <stdexcept>

#include "mysql/ResultSet.h"
#include "mysql/Session.h"

namespace tharvel {

MySqlQuery::MySqlQuery(MySqlConnection& connection) : connection_(connection) {}

MySqlQuery::~MySqlQuery() {
    try {
        close();
    } catch (...) {
    }
}

void MySqlQuery::send(std::string_view sql) {
    close();
    connection_.open();
    sent_ = true;
    Session& s = connection_.session();
    s.readWriteTimeout = commandTimeout_ > 0 ? commandTimeout_ : 31536000;
    connection_.guarded([&] { s.query(sql); });
    affected_ = s.affectedRows;
}

bool MySqlQuery::open(std::string_view sql) {
    send(sql);
    Session& s = connection_.session();
    result_ = connection_.guarded([&] { return s.useResult(); });
    if (!result_) return false;
    if (readAhead_) result_->startReadAhead();
    bool widen = connection_.unicodeInForce() && !s.protocol41();
    for (FieldInfo f : result_->columns()) {
        if (widen && !f.table.empty() &&
            (f.type == FieldType::VarChar || f.type == FieldType::Enum || f.type == FieldType::Set ||
             f.type == FieldType::VarString || f.type == FieldType::String))
            f.length *= 3;
        fields_.push_back(std::move(f));
    }
    return true;
}

void MySqlQuery::execute(std::string_view sql) {
    send(sql);
    Session& s = connection_.session();
    do {
        if (std::unique_ptr<ResultSet> result = connection_.guarded([&] { return s.useResult(); }))
            result->close();
    } while (connection_.guarded([&] { return s.nextResult(); }));
    close();
}

bool MySqlQuery::next() {
    row_ = nullptr;
    if (!result_) return false;
    if (!result_->owner())
        throw MySqlError(CR_SERVER_GONE_ERROR, MySqlError::clientErrorText(CR_SERVER_GONE_ERROR));
    row_ = connection_.guarded([&] { return result_->fetchRow(); });
    if (!row_) return false;
    ++fetched_;
    return true;
}

void MySqlQuery::badColumn(size_t column) const {
    if (!row_) throw std::logic_error("no current row");
    // A server may answer with fewer columns than the statement asked for.
    throw MySqlError::malformed("The result has " + std::to_string(row_->count()) + " columns, column " +
                                std::to_string(column + 1) + " was asked for");
}

void MySqlQuery::freeResult() {
    row_ = nullptr;
    if (result_) result_->close();
    result_.reset();
}

void MySqlQuery::close() {
    freeResult();
    fields_.clear();
    fetched_ = 0;
    if (!sent_) return;
    sent_ = false;
    if (!connection_.connected()) return;
    // Further results of a multi-statement text must be read before the next command.
    Session& s = connection_.session();
    while (connection_.guarded([&] { return s.nextResult(); }))
        if (std::unique_ptr<ResultSet> result = s.useResult()) result->close();
}

}  // namespace tharvel
