#pragma once
#include <cstddef>

namespace tharvel::test {

// Threads of this process now. One thread is started and joined before the first
// count, so that a helper thread the sanitizers start with the first thread is
// counted before and after alike.
size_t threadCount();

// threadCount() once it has come down to `expected`, or after two seconds. A joined
// thread can still be listed for a moment after the join returns (the kernel reaps
// it after waking the joiner), which a loaded machine makes visible.
size_t threadCountSettled(size_t expected);

}  // namespace tharvel::test
