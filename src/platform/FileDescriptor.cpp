#include "platform/FileDescriptor.h"

#include <cerrno>

namespace tharvel {

int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        // Nothing taken and no error: trying again would only spin.
        if (n == 0) return EIO;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return 0;
}

}  // namespace tharvel
