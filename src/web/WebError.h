#pragma once
#include <stdexcept>
#include <string>

namespace tharvel {

// A failed web request: the HTTP client's message, and the HTTP status code when
// the server answered with an error status (0 when no answer came).
class WebError : public std::runtime_error {
public:
    WebError(const std::string& message, int httpStatus = 0)
        : std::runtime_error(message), httpStatus_(httpStatus) {}

    int httpStatus() const { return httpStatus_; }

private:
    int httpStatus_;
};

}  // namespace tharvel
