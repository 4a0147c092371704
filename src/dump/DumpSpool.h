#pragma once
#include <filesystem>
#include <memory>

#include "dump/DumpStream.h"

namespace tharvel {

// A file beside the dump that holds one table's lines, written ahead of the table's
// turn, until they are joined to the dump in order. The file is removed when the
// spool ends, whatever happened.
class DumpSpool {
public:
    // Replaces anything left at the path by an earlier run.
    explicit DumpSpool(std::filesystem::path path);
    ~DumpSpool();
    DumpSpool(const DumpSpool&) = delete;
    DumpSpool& operator=(const DumpSpool&) = delete;

    DumpStream& stream() { return *stream_; }
    // Hands every finished line to the file; throws as the stream's close() does.
    void close() { stream_->close(); }
    // Appends the lines to `out`.
    void appendTo(DumpStream& out);

private:
    std::filesystem::path path_;
    std::unique_ptr<DumpStream> stream_;
};

}  // namespace tharvel
