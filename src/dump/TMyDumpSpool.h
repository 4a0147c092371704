#pragma once
#include <memory>
#include <string>

#include "dump/TDumpStream.h"

namespace tharvel {

// A file beside the dump that holds one table's lines, written ahead of the table's
// turn, until they are joined to the dump in order. The file is removed when the
// spool ends, whatever happened.
class TMyDumpSpool {
public:
    // Replaces anything left at the path by an earlier run.
    explicit TMyDumpSpool(std::string path);
    ~TMyDumpSpool();
    TMyDumpSpool(const TMyDumpSpool&) = delete;
    TMyDumpSpool& operator=(const TMyDumpSpool&) = delete;

    TDumpStream& stream() { return *stream_; }
    // Hands every finished line to the file; throws as the stream's Close does.
    void Close() { stream_->Close(); }
    // Appends the lines to `out`.
    void AppendTo(TDumpStream& out);
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::unique_ptr<TDumpStream> stream_;
};

}  // namespace tharvel
