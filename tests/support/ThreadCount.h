#pragma once
#include <cstddef>

namespace tharvel::test {

// Threads of this process now. One thread is started and joined before the first
// count, so that a helper thread the sanitizers start with the first thread is
// counted before and after alike.
size_t threadCount();

}  // namespace tharvel::test
