#include "mysql/Transport.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace tharvel {

void Transport::connect() {
    count_ = 0;
    position_ = 0;
}

size_t Transport::read(uint8_t* dest, size_t count) {
    size_t done = std::min(count, count_ - position_);
    if (done) {
        std::memcpy(dest, buffer_ + position_, done);
        position_ += done;
    }
    if (position_ == count_) position_ = count_ = 0;
    if (done < count && count - done < kDirectRead) {
        count_ = readSome(buffer_, kBufferSize);
        if (count_ == 0) return done;
        size_t n = std::min(count - done, count_);
        std::memcpy(dest + done, buffer_, n);
        position_ = n;
        done += n;
        if (position_ == count_) position_ = count_ = 0;
    }
    // Large reads go straight into the destination.
    while (done < count) {
        size_t n = readSome(dest + done, count - done);
        if (n == 0) break;
        done += n;
    }
    return done;
}

size_t Transport::write(const uint8_t* src, size_t count) {
    size_t done = 0;
    int failures = 0;
    while (done < count) {
        size_t n = writeSome(src + done, count - done);
        if (n == 0) {
            if (++failures == 3) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        done += n;
    }
    return done;
}

}  // namespace tharvel
