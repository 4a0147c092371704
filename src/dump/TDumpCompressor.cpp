#include "dump/TDumpCompressor.h"

#include <unistd.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "dump/EStreamWrite.h"

namespace tharvel {
namespace {

[[noreturn]] void writeError(int error = 0) {
    throw EStreamWrite(error);
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

class GzipCompressor : public TDumpCompressor {
public:
    explicit GzipCompressor(int fd) : TDumpCompressor(fd) {
        // 15 + 16: a gzip header and trailer around the deflate stream.
        if (deflateInit2(&stream_, kLevel, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::runtime_error("Cannot start the gzip compressor");
    }
    ~GzipCompressor() override { deflateEnd(&stream_); }

    void Write(std::string_view bytes) override {
        // zlib counts in 32 bits; feed it in slices it can take.
        while (!bytes.empty()) {
            const size_t slice = std::min<size_t>(bytes.size(), 1u << 30);
            run(bytes.substr(0, slice), Z_NO_FLUSH);
            bytes.remove_prefix(slice);
        }
    }
    void Finish() override { run({}, Z_FINISH); }

private:
    // Level 6 packs a dump within a few percent of the best level at a fraction of its time.
    static constexpr int kLevel = 6;

    void run(std::string_view bytes, int flush) {
        stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
        stream_.avail_in = static_cast<uInt>(bytes.size());
        for (;;) {
            stream_.next_out = reinterpret_cast<Bytef*>(out_.data());
            stream_.avail_out = static_cast<uInt>(out_.size());
            const int result = deflate(&stream_, flush);
            if (result == Z_STREAM_ERROR) writeError();
            drain(out_.size() - stream_.avail_out);
            if (flush == Z_FINISH ? result == Z_STREAM_END : stream_.avail_in == 0 && stream_.avail_out != 0)
                return;
        }
    }

    z_stream stream_{};
};

class ZstdCompressor : public TDumpCompressor {
public:
    explicit ZstdCompressor(int fd) : TDumpCompressor(fd), context_(ZSTD_createCCtx()) {
        if (!context_) throw std::runtime_error("Cannot start the zstd compressor");
        ZSTD_CCtx_setParameter(context_, ZSTD_c_compressionLevel, ZSTD_CLEVEL_DEFAULT);
        ZSTD_CCtx_setParameter(context_, ZSTD_c_checksumFlag, 1);
    }
    ~ZstdCompressor() override { ZSTD_freeCCtx(context_); }

    void Write(std::string_view bytes) override {
        ZSTD_inBuffer in{bytes.data(), bytes.size(), 0};
        while (in.pos < in.size) step(in, ZSTD_e_continue);
    }
    void Finish() override {
        ZSTD_inBuffer in{nullptr, 0, 0};
        while (step(in, ZSTD_e_end) != 0) {
        }
    }

private:
    size_t step(ZSTD_inBuffer& in, ZSTD_EndDirective mode) {
        ZSTD_outBuffer out{out_.data(), out_.size(), 0};
        const size_t left = ZSTD_compressStream2(context_, &out, &in, mode);
        if (ZSTD_isError(left)) writeError();
        drain(out.pos);
        return left;
    }

    ZSTD_CCtx* context_;
};

class PlainWriter : public TDumpCompressor {
public:
    explicit PlainWriter(int fd) : TDumpCompressor(fd, 0) {}
    void Write(std::string_view bytes) override { writeAll(bytes); }
    void Finish() override {}
};

}  // namespace

std::optional<TDumpCompression> ParseDumpCompression(std::string_view name) {
    const std::string key = lowered(name);
    if (key.empty() || key == "none") return TDumpCompression::None;
    if (key == "gzip") return TDumpCompression::Gzip;
    if (key == "zstd") return TDumpCompression::Zstd;
    return std::nullopt;
}

std::string_view DumpFileSuffix(TDumpCompression compression) {
    switch (compression) {
        case TDumpCompression::Gzip:
            return ".sql.gz";
        case TDumpCompression::Zstd:
            return ".sql.zst";
        case TDumpCompression::None:
            break;
    }
    return ".sql";
}

std::unique_ptr<TDumpCompressor> TDumpCompressor::Create(TDumpCompression compression, int fd) {
    switch (compression) {
        case TDumpCompression::Gzip:
            return std::make_unique<GzipCompressor>(fd);
        case TDumpCompression::Zstd:
            return std::make_unique<ZstdCompressor>(fd);
        case TDumpCompression::None:
            break;
    }
    return nullptr;
}

std::unique_ptr<TDumpCompressor> TDumpCompressor::CreateWriter(TDumpCompression compression, int fd) {
    if (compression == TDumpCompression::None) return std::make_unique<PlainWriter>(fd);
    return Create(compression, fd);
}

TDumpCompressor::TDumpCompressor(int fd, size_t outputSize) : fd_(fd), out_(outputSize, '\0') {}

void TDumpCompressor::writeAll(std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) writeError(n < 0 ? errno : 0);
        done += static_cast<size_t>(n);
    }
}

void TDumpCompressor::drain(size_t size) {
    writeAll(std::string_view(out_.data(), size));
}

}  // namespace tharvel
