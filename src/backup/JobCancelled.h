#pragma once
#include <stdexcept>

namespace tharvel {

// The silent abort: raised to end a step when a stop was requested.
class JobCancelled : public std::runtime_error {
public:
    JobCancelled() : std::runtime_error("Operation aborted") {}
};

}  // namespace tharvel
