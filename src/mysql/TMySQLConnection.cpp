#include "mysql/TMySQLConnection.h"

#include <cctype>
#include <charconv>
#include <stdexcept>

#include "mysql/EMyError.h"
#include "mysql/TMySQLAPIDirect.h"
#include "mysql/TMySqlSession.h"

namespace tharvel {
namespace {

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

TMySQLConnection::TMySQLConnection() : api_(TMySQLAPIDirect::Instance()) {}

TMySQLConnection::~TMySQLConnection() {
    Disconnect();
}

void TMySQLConnection::ParseVersion(const std::string& text, int& major, int& minor, int& release) {
    size_t dot = text.find('.');
    major = toInteger(text.substr(0, dot));
    size_t pos = dot == std::string::npos ? text.size() : dot + 1;
    minor = toInteger(digitsFrom(text, pos));
    if (pos < text.size()) ++pos;
    release = toInteger(digitsFrom(text, pos));
}

void TMySQLConnection::Connect() {
    serverVersion_.clear();
    major_ = minor_ = release_ = 0;
    clientVersion_ = TMySqlSession::kClientVersion;
    if (handle_) Disconnect();
    try {
        handle_ = api_.mysql_init();
        api_.mysql_options(handle_, 0, ConnectionTimeout);
        switch (Protocol) {
            case TMyProtocol::mpDefault:
                break;
            case TMyProtocol::mpTCP:
                api_.mysql_options(handle_, 9, 1);
                break;
            case TMyProtocol::mpSocket:
                api_.mysql_options(handle_, 9, 2);
                break;
            case TMyProtocol::mpPipe:
                api_.mysql_options(handle_, 9, 3);
                break;
            case TMyProtocol::mpMemory:
                api_.mysql_options(handle_, 9, 4);
                break;
            case TMyProtocol::mpSSL:
                api_.mysql_options(handle_, 9, 5);
                break;
        }
        handle_->TlsMode = TlsMode;
        handle_->TlsCa = TlsCaFile;
        uint32_t flags = CLIENT_FOUND_ROWS | CLIENT_MULTI_STATEMENTS;
        if (Compress) flags |= CLIENT_COMPRESS;
        if (!api_.mysql_real_connect(handle_, Server.empty() ? "localhost" : Server, Username, Password,
                                     Database, Port, "", flags))
            throw EMyError(api_.mysql_errno(handle_), api_.mysql_error(handle_));
        connected_ = true;
        broken_ = false;
        serverVersion_ = api_.mysql_get_server_info(handle_);
        ParseVersion(serverVersion_, major_, minor_, release_);

        std::string names;
        if (major_ < 4 || (major_ == 4 && minor_ == 0))
            UseUnicode = false;
        else if (UseUnicode)
            names = "SET NAMES utf8";
        else if (!Charset.empty())
            names = "SET NAMES " + Charset;
        if (!names.empty()) {
            int timeout = ConnectionTimeout > 0 ? ConnectionTimeout : 31536000;
            api_.mysql_options(handle_, 11, timeout);
            api_.mysql_options(handle_, 12, timeout);
            if (api_.mysql_real_query(handle_, names.data(), names.size()) != 0)
                throw EMyError(api_.mysql_errno(handle_), api_.mysql_error(handle_));
            while (true) {
                if (TMySqlResultSet* r = api_.mysql_use_result(handle_)) api_.mysql_free_result(r);
                int next = api_.mysql_next_result(handle_);
                if (next > 0) throw EMyError(api_.mysql_errno(handle_), api_.mysql_error(handle_));
                if (next < 0) break;
            }
        }
    } catch (...) {
        Disconnect();
        throw;
    }
}

void TMySQLConnection::Disconnect() {
    if (handle_) api_.mysql_close(handle_);
    handle_ = nullptr;
    connected_ = false;
}

}  // namespace tharvel
