#pragma once
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tharvel {

enum class Compression { None, Gzip, Zstd };

// "none" (or empty), "gzip" or "zstd", in any letter case; nothing for other text.
std::optional<Compression> parseDumpCompression(std::string_view name);
// What the dump file's name ends in: ".sql", ".sql.gz" or ".sql.zst".
std::string_view dumpFileSuffix(Compression compression);

// Compresses a byte stream into a file descriptor it does not own: a gzip member
// (what zcat reads) or a zstd frame (what zstd -dc reads). write() and finish() throw
// "Stream write error" when the file cannot take the bytes.
class DumpCompressor {
public:
    // Nothing for Compression::None.
    static std::unique_ptr<DumpCompressor> create(Compression compression, int fd);
    // What writes the stream into the file: create()'s compressor, or for None one that
    // writes the bytes as they are.
    static std::unique_ptr<DumpCompressor> createWriter(Compression compression, int fd);
    virtual ~DumpCompressor() = default;

    virtual void write(std::string_view bytes) = 0;
    // Ends the stream; nothing may be written after it.
    virtual void finish() = 0;

protected:
    explicit DumpCompressor(int fd, size_t outputSize = 256 << 10);
    // Writes bytes to the file as they are.
    void writeAll(std::string_view bytes);
    // Writes the compressed bytes held in out_[0, size) to the file.
    void drain(size_t size);

    int fd_;
    std::string out_;
};

}  // namespace tharvel
