#include "mysql/MySqlConnection.h"

#include <cctype>
#include <charconv>
#include <stdexcept>

#include "mysql/MySqlQuery.h"
#include "mysql/ResultSet.h"
#include "mysql/Session.h"

namespace tharvel {
namespace {

// What a reply may take when the caller sets no limit: one year.
constexpr int kNoTimeout = 31536000;

int toInteger(const std::string& text) {
    int value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size())
        throw std::runtime_error("'" + text + "' is not a valid integer value");
    return value;
}

std::string digitsFrom(const std::string& text, size_t& pos) {
    size_t start = pos;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) ++pos;
    return text.substr(start, pos - start);
}

}  // namespace

MySqlConnection::MySqlConnection() : options_(this) {}

MySqlConnection::~MySqlConnection() {
    close();
}

void MySqlConnection::parseVersion(const std::string& text, int& major, int& minor, int& release) {
    size_t dot = text.find('.');
    major = toInteger(text.substr(0, dot));
    size_t pos = dot == std::string::npos ? text.size() : dot + 1;
    minor = toInteger(digitsFrom(text, pos));
    if (pos < text.size()) ++pos;
    release = toInteger(digitsFrom(text, pos));
}

void MySqlConnection::open() {
    if (connected()) return;
    serverVersion_.clear();
    major_ = minor_ = release_ = 0;
    // The session becomes the connection's only once the login and "SET NAMES" went
    // through; on any failure it is closed again on the way out.
    auto session = std::make_unique<Session>();
    session->connectTimeout = connectionTimeout_;
    session->tlsMode = options_.tlsMode();
    session->tlsCa = options_.tlsCaFile();
    uint32_t flags = CLIENT_FOUND_ROWS | CLIENT_MULTI_STATEMENTS;
    if (options_.compress()) flags |= CLIENT_COMPRESS;
    session->connect(server_.empty() ? "localhost" : server_, username_, password_, database_, port_, flags);
    serverVersion_ = session->serverVersion;
    parseVersion(serverVersion_, major_, minor_, release_);

    unicodeInForce_ = options_.useUnicode();
    std::string names;
    if (major_ < 4 || (major_ == 4 && minor_ == 0))
        unicodeInForce_ = false;
    else if (unicodeInForce_)
        names = "SET NAMES utf8";
    else if (!options_.charset().empty())
        names = "SET NAMES " + options_.charset();
    if (!names.empty()) {
        session->readWriteTimeout = connectionTimeout_ > 0 ? connectionTimeout_ : kNoTimeout;
        session->query(names);
        do {
            if (std::unique_ptr<ResultSet> result = session->useResult()) result->close();
        } while (session->nextResult());
    }
    session_ = std::move(session);
}

void MySqlConnection::close() {
    session_.reset();
}

void MySqlConnection::setServer(const std::string& server) {
    if (server == server_) return;
    close();
    server_ = server;
}

void MySqlConnection::setPort(int port) {
    if (port == port_) return;
    close();
    port_ = port;
}

void MySqlConnection::setUsername(const std::string& username) {
    if (username == username_) return;
    close();
    username_ = username;
}

void MySqlConnection::setPassword(const std::string& password) {
    if (password == password_) return;
    close();
    password_ = password;
}

void MySqlConnection::setDatabase(const std::string& database) {
    if (connected() && database != database_) {
        Session& s = session();
        guarded([&] { s.selectDatabase(database); });
    }
    database_ = database;
}

std::string MySqlConnection::serverVersionText() const {
    return connected() ? serverVersion_ : std::string();
}
int MySqlConnection::serverMajorVersion() const {
    return connected() ? major_ : 0;
}
int MySqlConnection::serverMinorVersion() const {
    return connected() ? minor_ : 0;
}
int MySqlConnection::serverReleaseVersion() const {
    return connected() ? release_ : 0;
}
std::string MySqlConnection::clientVersionText() const {
    return Session::kClientVersion;
}

uint32_t MySqlConnection::threadId() const {
    return connected() ? session_->threadId : 0;
}

Session& MySqlConnection::session() {
    if (!session_) throw MySqlError(CR_SERVER_GONE_ERROR, MySqlError::clientErrorText(CR_SERVER_GONE_ERROR));
    return *session_;
}

uint64_t MySqlConnection::execSql(std::string_view sql, int commandTimeout) {
    MySqlQuery query(*this);
    query.setCommandTimeout(commandTimeout);
    query.execute(sql);
    return query.rowsAffected();
}

void MySqlConnection::kill(uint32_t threadId) {
    Session& s = session();
    guarded([&] { s.kill(threadId); });
}

}  // namespace tharvel
