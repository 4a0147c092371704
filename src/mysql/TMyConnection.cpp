#include "mysql/TMyConnection.h"

#include "mysql/EMySqlException.h"
#include "mysql/TMyQuery.h"
#include "mysql/TMySQLAPIDirect.h"
#include "mysql/TMySQLConnection.h"

namespace tharvel {

TMyConnection::TMyConnection() : options_(this) {}

TMyConnection::~TMyConnection() {
    try {
        disconnect();
    } catch (...) {
    }
}

bool TMyConnection::Connected() const {
    return internal_ && internal_->Connected();
}

void TMyConnection::SetConnected(bool on) {
    if (on == Connected()) return;
    if (on)
        connect();
    else
        disconnect();
}

void TMyConnection::connect() {
    if (!internal_) internal_ = std::make_unique<TMySQLConnection>();
    TMySQLConnection& c = *internal_;
    c.Database = database_;
    c.ConnectionTimeout = connectionTimeout_;
    c.UseUnicode = options_.UseUnicode();
    c.Charset = options_.Charset();
    c.Port = port_;
    c.Compress = options_.Compress();
    c.Protocol = options_.Protocol();
    c.TlsMode = options_.TlsMode();
    c.TlsCaFile = options_.TlsCaFile();
    c.Username = username_;
    c.Password = password_;
    c.Server = server_;
    try {
        c.Connect();
    } catch (EMyError& e) {
        throw EMyError(e.ErrorNumber(), e.what(), this);
    }
}

void TMyConnection::disconnect() {
    if (internal_) internal_->Disconnect();
}

void TMyConnection::SetServer(const std::string& server) {
    if (server == server_) return;
    disconnect();
    server_ = server;
}

void TMyConnection::SetPort(int port) {
    if (port == port_) return;
    disconnect();
    port_ = port;
}

void TMyConnection::SetUsername(const std::string& username) {
    if (username == username_) return;
    disconnect();
    username_ = username;
}

void TMyConnection::SetPassword(const std::string& password) {
    if (password == password_) return;
    disconnect();
    password_ = password;
}

void TMyConnection::SetDatabase(const std::string& database) {
    if (Connected() && database != database_) {
        TMySqlSession* h = Handle();
        if (internal_->Api().mysql_select_db(h, database) != 0) RaiseStoredError();
    }
    database_ = database;
}

std::string TMyConnection::ServerVersionText() const {
    return Connected() ? internal_->ServerVersionText() : std::string();
}
int TMyConnection::ServerMajorVersion() const {
    return Connected() ? internal_->ServerMajor() : 0;
}
int TMyConnection::ServerMinorVersion() const {
    return Connected() ? internal_->ServerMinor() : 0;
}
int TMyConnection::ServerReleaseVersion() const {
    return Connected() ? internal_->ServerRelease() : 0;
}
std::string TMyConnection::ClientVersionText() const {
    return TMySqlSession::kClientVersion;
}

uint32_t TMyConnection::ThreadId() const {
    return Connected() ? internal_->Api().mysql_thread_id(internal_->Handle()) : 0;
}

bool TMyConnection::UnicodeInForce() const {
    return internal_ && internal_->UseUnicode;
}

void TMyConnection::BeginUse() {
    ++useCount_;
    if (!Connected()) connect();
}

void TMyConnection::EndUse() {
    if (useCount_ > 0) --useCount_;
    if (useCount_ == 0 && options_.DisconnectedMode()) disconnect();
}

TMySqlSession* TMyConnection::Handle() {
    if (!Connected())
        throw EMyError(CR_SERVER_GONE_ERROR, EMySqlException::ClientErrorText(CR_SERVER_GONE_ERROR), this);
    return internal_->Handle();
}

void TMyConnection::RaiseStoredError() {
    TMySqlSession* h = internal_ ? internal_->Handle() : nullptr;
    int code = h ? internal_->Api().mysql_errno(h) : CR_SERVER_GONE_ERROR;
    std::string message = h ? internal_->Api().mysql_error(h) : EMySqlException::ClientErrorText(code);
    EMyError error(code, message, this);
    if (error.IsConnectionLost()) {
        internal_->MarkBroken();
        try {
            disconnect();
        } catch (...) {
        }
    }
    throw error;
}

uint64_t TMyConnection::ExecSQL(std::string_view sql, int commandTimeout) {
    TMyQuery query(*this);
    query.SetCommandTimeout(commandTimeout);
    query.execute(sql);
    return query.RowsAffected();
}

void TMyConnection::Ping() {
    TMySqlSession* h = Handle();
    if (internal_->Api().mysql_ping(h) != 0) RaiseStoredError();
}

void TMyConnection::Kill(uint32_t threadId) {
    TMySqlSession* h = Handle();
    if (internal_->Api().mysql_kill(h, threadId) != 0) RaiseStoredError();
}

}  // namespace tharvel
