#include "support/ThreadCount.h"

#include <dirent.h>

#include <chrono>
#include <thread>

namespace tharvel::test {

size_t threadCount() {
    static const bool warm = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)warm;
    size_t n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

size_t threadCountSettled(size_t expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    size_t n = threadCount();
    while (n > expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        n = threadCount();
    }
    return n;
}

}  // namespace tharvel::test
