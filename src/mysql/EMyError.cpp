#include "mysql/EMyError.h"

#include <cctype>
#include <charconv>

namespace tharvel {
namespace {

int lastNumberOf(const std::string& message) {
    size_t end = message.size();
    while (end > 0 && !std::isdigit(static_cast<unsigned char>(message[end - 1]))) --end;
    if (end == 0) return 0;
    size_t begin = end;
    while (begin > 0 && std::isdigit(static_cast<unsigned char>(message[begin - 1]))) --begin;
    int value = 0;
    auto [ptr, ec] = std::from_chars(message.data() + begin, message.data() + end, value);
    return ec == std::errc() && ptr == message.data() + end ? value : 0;
}

}  // namespace

EMyError::EMyError(int errorNumber, const std::string& message, TMyConnection* origin)
    : std::runtime_error(message), errorNumber_(errorNumber), origin_(origin) {
    if (errorNumber == 1064) sqlErrorLine_ = lastNumberOf(message);
}

bool EMyError::IsConnectionLost() const {
    return errorNumber_ == 1053 || errorNumber_ == 2003 || errorNumber_ == 2006 || errorNumber_ == 2013;
}

bool EMyError::IsDuplicateKey() const {
    return errorNumber_ == 1062;
}

}  // namespace tharvel
