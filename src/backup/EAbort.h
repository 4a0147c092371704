#pragma once
#include <stdexcept>

namespace tharvel {

// The silent abort: raised to end a step when a stop was requested.
class EAbort : public std::runtime_error {
public:
    EAbort() : std::runtime_error("Operation aborted") {}
};

}  // namespace tharvel
