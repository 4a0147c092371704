#include "dump/DumpSpool.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "platform/FileDescriptor.h"

namespace tharvel {

DumpSpool::DumpSpool(std::filesystem::path path) : path_(std::move(path)) {
    // A link left there would be followed by the create.
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
    stream_ = std::make_unique<DumpStream>(path_);
}

DumpSpool::~DumpSpool() {
    stream_.reset();
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

void DumpSpool::appendTo(DumpStream& out) {
    int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        throw std::runtime_error("Cannot open file \"" + path_.string() + "\". " + std::strerror(errno));
    FileDescriptor closer(fd);
    out.appendFile(fd);
}

}  // namespace tharvel
