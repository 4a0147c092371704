#pragma once
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "dump/DumpCompressor.h"
#include "platform/FileDescriptor.h"

namespace tharvel {

// The dump file: lines ending in CR LF, buffered in memory for speed. Only whole
// lines leave the buffer, and close() hands every finished line to the file, also
// after a failure, so a dump that stops keeps everything written before the stop.
// The file is written (and compressed) on a thread of its own, one buffer behind
// the lines being made; a compressed one too ends as a complete stream after a failure.
class DumpStream {
public:
    // Creates the file or truncates it. Throws "Cannot create file "<path>". <reason>".
    explicit DumpStream(const std::filesystem::path& path, Compression compression = Compression::None);
    ~DumpStream();
    DumpStream(const DumpStream&) = delete;
    DumpStream& operator=(const DumpStream&) = delete;

    // The open line: callers append its bytes here, then call endLine.
    std::string& line() { return buffer_; }
    size_t openLineLength() const { return buffer_.size() - lineStart_; }
    void endLine();

    // One line written as it is (bytes inside it, line breaks included, unchanged).
    void writeLine(std::string_view text);
    // A text of several lines: CR LF, lone LF and lone CR end lines; a zero byte
    // ends the text; a final line break adds no empty line; empty text is one empty line.
    void writeText(std::string_view text);

    // Appends the whole content of an open file of finished lines (read from its
    // current offset), as if each of its lines had been written here; no line may be
    // open. Uncompressed, the bytes are copied inside the kernel.
    void appendFile(int fd);

    // Drops the bytes of a line that was begun but not ended.
    void discardOpenLine() { buffer_.resize(lineStart_); }

    // Writes every finished line to the file and closes it. Throws StreamWriteError
    // ("Stream write error"), as does any write of a full buffer.
    void close();

private:
    void flush(size_t upTo);
    void handOver(size_t upTo);
    void compressLoop();
    // Waits until the writer has written every buffer handed over.
    void waitUntilWritten();
    // Ends the compressor thread after it has finished the stream; false when
    // anything it wrote failed.
    bool finishCompressing();

    FileDescriptor fd_;
    std::string buffer_;
    size_t lineStart_ = 0;

    // The writing thread takes `pending_` (swapped, not copied) and writes it.
    std::unique_ptr<DumpCompressor> compressor_;
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string pending_;
    bool hasPending_ = false;
    bool writing_ = false;  // the writer holds a buffer it has not finished writing
    bool plain_ = false;    // written as it is: spooled files may be copied in whole
    bool finishing_ = false;
    bool failed_ = false;
    int writeErrno_ = 0;  // of the compressor thread's failed write
};

}  // namespace tharvel
