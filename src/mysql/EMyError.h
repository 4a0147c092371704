#pragma once
#include <stdexcept>
#include <string>

namespace tharvel {

class TMyConnection;

// The error that users of a TMyConnection see: the error number and message of the
// failed operation, as stored by the client API.
class EMyError : public std::runtime_error {
public:
    EMyError(int errorNumber, const std::string& message, TMyConnection* origin = nullptr);

    int ErrorNumber() const { return errorNumber_; }
    // The connection on whose behalf the operation ran; may be none.
    TMyConnection* Origin() const { return origin_; }
    // For a syntax error (1064) the number that ends the message (the line), else 0.
    int SqlErrorLine() const { return sqlErrorLine_; }

    // 1053, 2003, 2006 and 2013: the connection cannot be used any more.
    bool IsConnectionLost() const;
    bool IsDuplicateKey() const;

private:
    int errorNumber_;
    TMyConnection* origin_;
    int sqlErrorLine_ = 0;
};

}  // namespace tharvel
