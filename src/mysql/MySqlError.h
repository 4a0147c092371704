#pragma once
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tharvel {

// A failure of the MySQL client or of the server: the error number and the full
// message. Everything in the client raises it; a connection that sees one of the
// connection-lost class closes itself before passing it on.
class MySqlError : public std::runtime_error {
public:
    MySqlError(int errorNumber, const std::string& message);

    int errorNumber() const { return errorNumber_; }

    // 1053, 2003, 2006 and 2013: the connection cannot be used any more.
    bool isConnectionLost() const;

    // The client error text of a code (2000 to 2047), empty for any other code.
    static std::string clientErrorText(int code);

    // The message of a code: its text with the placeholders filled from args in
    // order, then CR LF and the detail when the detail is not empty.
    static std::string buildMessage(int code, std::initializer_list<std::string_view> args,
                                    std::string_view detail);

    // A client error (placeholders from args) with an optional detail text.
    static MySqlError client(int code, std::initializer_list<std::string_view> args = {},
                             std::string_view detail = {});
    // A client error without placeholders but with a detail text.
    static MySqlError clientDetail(int code, std::string_view detail);
    // An error sent by the server: code and its text (the message starts with CR LF).
    static MySqlError server(int code, std::string_view text);
    // Input from the server that does not follow the protocol.
    static MySqlError malformed(std::string_view detail = {});

private:
    int errorNumber_;
};

// Client error numbers used in the code.
enum : int {
    CR_UNKNOWN_ERROR = 2000,
    CR_CONN_HOST_ERROR = 2003,
    CR_SERVER_GONE_ERROR = 2006,
    CR_VERSION_ERROR = 2007,
    CR_OUT_OF_MEMORY = 2008,
    CR_SERVER_HANDSHAKE_ERR = 2012,
    CR_SERVER_LOST = 2013,
    CR_COMMANDS_OUT_OF_SYNC = 2014,
    CR_NET_PACKET_TOO_LARGE = 2020,
    CR_SSL_CONNECTION_ERROR = 2026,
    CR_MALFORMED_PACKET = 2027,
    CR_UNKNOWN_PROTOCOL = 2046,
    CR_INVALID_CONN_HANDLE = 2047,
    ER_NET_PACKETS_OUT_OF_ORDER = 1156,
    ER_NET_UNCOMPRESS_ERROR = 1157,
};

}  // namespace tharvel
