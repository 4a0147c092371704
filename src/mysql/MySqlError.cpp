#include "mysql/MySqlError.h"

#include <array>

namespace tharvel {
namespace {

constexpr std::array<const char*, 48> kClientErrors = {
    "Unknown MySQL error",
    "Can't create UNIX socket (%d)",
    "Can't connect to local MySQL server through socket '%-.64s' (%d)",
    "Can't connect to MySQL server on '%s' (%d)",
    "Can't create TCP/IP socket (%d)",
    "Unknown MySQL Server Host '%-.64s' (%d)",
    "MySQL server has gone away",
    "Protocol mismatch. Server Version = %d Client Version = %d",
    "MySQL client run out of memory",
    "Wrong host info",
    "Localhost via UNIX socket",
    "%-.64s via TCP/IP",
    "Error in server handshake",
    "Lost connection to MySQL server during query",
    "Commands out of sync;  You can't run this command now",
    "%-.64s via named pipe",
    "Can't wait for named pipe to host: %s  pipe: %s (%s)",
    "Can't open named pipe to host: %s  pipe: %s (%s)",
    "Can't set state of named pipe to host: %s  pipe: %s (%s)",
    "Can't initialize character set %s (path: %s)",
    "Got packet bigger than 'max_allowed_packet'",
    "Embedded server",
    "Error on SHOW SLAVE STATUS:",
    "Error on SHOW SLAVE HOSTS:",
    "Error connecting to slave:",
    "Error connecting to master:",
    "SSL connection error",
    "Malformed packet",
    "Invalid use of null pointer",
    "Statement not prepared",
    "Not all parameters data supplied",
    "Data truncated",
    "No parameters exists in the statement",
    "Invalid parameter number",
    "Can't send long data for non string or binary data types (parameter: %s)",
    "Using unsupported buffer type: %s  (parameter: %s)",
    "Shared memory (%s)",
    "Can't open shared memory. Request event don't create  (%s)",
    "Can't open shared memory. Answer event don't create  (%s)",
    "Can't open shared memory. File mapping don't create  (%s)",
    "Can't open shared memory. Map of memory don't create  (%s)",
    "Can't open shared memory. File mapping don't create for client (%s)",
    "Can't open shared memory. Map of memory don't create for client (%s)",
    "Can't open shared memory. %s event don't create for client (%s)",
    "Can't open shared memory. Server abandoded and don't sent the answer event (%s)",
    "Can't open shared memory. Can't send the request event to server (%s)",
    "Wrong or unknown protocol",
    "Invalid connection handle",
};

// Fills %d, %s and %-.64s in order; the arguments arrive already as text.
std::string fill(std::string_view format, std::initializer_list<std::string_view> args) {
    std::string out;
    auto arg = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out += format[i];
            continue;
        }
        std::string_view rest = format.substr(i);
        size_t limit = std::string_view::npos;
        size_t skip = 0;
        if (rest.starts_with("%-.64s"))
            limit = 64, skip = 6;
        else if (rest.starts_with("%s") || rest.starts_with("%d"))
            skip = 2;
        if (skip == 0) {
            out += '%';
            continue;
        }
        if (arg != args.end()) {
            out += arg->substr(0, limit);
            ++arg;
        }
        i += skip - 1;
    }
    return out;
}

}  // namespace

MySqlError::MySqlError(int errorNumber, const std::string& message)
    : std::runtime_error(message), errorNumber_(errorNumber) {}

bool MySqlError::isConnectionLost() const {
    return errorNumber_ == 1053 || errorNumber_ == 2003 || errorNumber_ == 2006 || errorNumber_ == 2013;
}

std::string MySqlError::clientErrorText(int code) {
    if (code < 2000 || code > 2047) return {};
    return kClientErrors[code - 2000];
}

std::string MySqlError::buildMessage(int code, std::initializer_list<std::string_view> args,
                                     std::string_view detail) {
    std::string message = fill(clientErrorText(code), args);
    if (!detail.empty()) {
        message += "\r\n";
        message += detail;
    }
    return message;
}

MySqlError MySqlError::client(int code, std::initializer_list<std::string_view> args,
                              std::string_view detail) {
    return MySqlError(code, buildMessage(code, args, detail));
}

MySqlError MySqlError::clientDetail(int code, std::string_view detail) {
    return MySqlError(code, buildMessage(code, {}, detail));
}

MySqlError MySqlError::server(int code, std::string_view text) {
    // Whatever the number, a server error carries only the server's text.
    return MySqlError(code, text.empty() ? std::string() : "\r\n" + std::string(text));
}

MySqlError MySqlError::malformed(std::string_view detail) {
    return clientDetail(CR_MALFORMED_PACKET, detail);
}

}  // namespace tharvel
