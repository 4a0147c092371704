#include "support/ThreadCount.h"

#include <dirent.h>

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

}  // namespace tharvel::test
