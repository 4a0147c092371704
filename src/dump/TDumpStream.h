#pragma once
#include <string>
#include <string_view>

namespace tharvel {

// The dump file: lines ending in CR LF, buffered in memory for speed. Only whole
// lines leave the buffer, and Close hands every finished line to the file, also
// after a failure, so a dump that stops keeps everything written before the stop.
class TDumpStream {
public:
    // Creates the file or truncates it. Throws "Cannot create file "<path>". <reason>".
    explicit TDumpStream(const std::string& path);
    ~TDumpStream();
    TDumpStream(const TDumpStream&) = delete;
    TDumpStream& operator=(const TDumpStream&) = delete;

    // The open line: callers append its bytes here, then call EndLine.
    std::string& line() { return buffer_; }
    size_t openLineLength() const { return buffer_.size() - lineStart_; }
    void EndLine();

    // One line written as it is (bytes inside it, line breaks included, unchanged).
    void WriteLine(std::string_view text);
    // A text of several lines: CR LF, lone LF and lone CR end lines; a zero byte
    // ends the text; a final line break adds no empty line; empty text is one empty line.
    void WriteText(std::string_view text);

    // Drops the bytes of a line that was begun but not ended.
    void DiscardOpenLine() { buffer_.resize(lineStart_); }

    // Writes every finished line to the file and closes it. Throws EStreamWrite
    // ("Stream write error"), as does any write of a full buffer.
    void Close();

private:
    void flush(size_t upTo);

    int fd_ = -1;
    std::string buffer_;
    size_t lineStart_ = 0;
};

}  // namespace tharvel
