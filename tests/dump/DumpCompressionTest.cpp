#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "dump/DumpStream.h"
#include "support/TempDir.h"

namespace tharvel {
namespace {

using test::readFile;
using test::TempDir;

struct Kind {
    Compression compression;
    const char* decompress;  // the standard tool that reads the file back
    std::string magic;
};

const Kind kKinds[] = {
    {Compression::Gzip, "gzip -dc", "\x1F\x8B"},
    {Compression::Zstd, "zstd -dcq", "\x28\xB5\x2F\xFD"},
};

// What the standard tool makes of the file; fails the test when it reports an error
// (a truncated or corrupt stream).
std::string decompressed(const Kind& kind, const std::filesystem::path& file, const TempDir& dir) {
    const std::filesystem::path out = dir / "plain";
    const std::string command =
        std::string(kind.decompress) + " < '" + file.string() + "' > '" + out.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return readFile(out);
}

// Lines of every byte value but CR and LF, of lengths that cross the stream's
// hand-over size many times, some long, some empty.
std::vector<std::string> someLines() {
    std::mt19937 random(7);
    std::vector<std::string> lines;
    size_t total = 0;
    while (total < (5u << 20)) {
        const size_t length = random() % 7 == 0 ? random() % 200000 : random() % 120;
        std::string line;
        for (size_t i = 0; i < length; ++i) {
            char c = static_cast<char>(random() % 10 ? "abcd,'() "[random() % 9] : random() % 256);
            line += (c == '\r' || c == '\n') ? ' ' : c;
        }
        total += line.size() + 2;
        lines.push_back(std::move(line));
    }
    return lines;
}

TEST(Compression, NamesAndSuffixes) {
    struct Case {
        const char* name;
        std::optional<Compression> expected;
    };
    for (const Case& c :
         {Case{"", Compression::None}, Case{"none", Compression::None}, Case{"GZip", Compression::Gzip},
          Case{"zstd", Compression::Zstd}, Case{"ZSTD", Compression::Zstd}, Case{"bzip2", std::nullopt},
          Case{"gzip ", std::nullopt}, Case{"zst", std::nullopt}})
        EXPECT_EQ(parseDumpCompression(c.name), c.expected) << c.name;
    EXPECT_EQ(dumpFileSuffix(Compression::None), ".sql");
    EXPECT_EQ(dumpFileSuffix(Compression::Gzip), ".sql.gz");
    EXPECT_EQ(dumpFileSuffix(Compression::Zstd), ".sql.zst");
}

TEST(Compression, TheStandardToolsReadBackExactlyTheUncompressedBytes) {
    const std::vector<std::string> lines = someLines();
    TempDir dir;
    {
        DumpStream plain((dir / "plain.sql").string());
        for (const std::string& line : lines) plain.writeLine(line);
        plain.close();
    }
    const std::string expected = readFile(dir / "plain.sql");
    for (const Kind& kind : kKinds) {
        const std::filesystem::path file = dir / "packed";
        {
            DumpStream out(file.string(), kind.compression);
            for (const std::string& line : lines) {
                // Built in place like the dump builds its rows.
                out.line() += line;
                out.endLine();
            }
            out.close();
        }
        const std::string packed = readFile(file);
        EXPECT_EQ(packed.substr(0, kind.magic.size()), kind.magic) << kind.decompress;
        EXPECT_LT(packed.size(), expected.size() * 3 / 4) << kind.decompress;
        const std::string back = decompressed(kind, file, dir);
        EXPECT_EQ(back.size(), expected.size()) << kind.decompress;
        EXPECT_TRUE(back == expected) << kind.decompress;
    }
}

TEST(Compression, AStreamLeftByAFailureIsCompleteAndHoldsTheFinishedLines) {
    TempDir dir;
    const std::string big(3u << 20, 'x');  // several hand-overs before the failure
    for (const Kind& kind : kKinds) {
        const std::filesystem::path file = dir / "partial";
        try {
            DumpStream out(file.string(), kind.compression);
            out.writeLine("first");
            out.writeLine(big);
            out.writeLine("last finished");
            out.line() += "half a row";
            throw std::runtime_error("server gone");
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(decompressed(kind, file, dir), "first\r\n" + big + "\r\nlast finished\r\n")
            << kind.decompress;
    }
}

TEST(Compression, AFileThatCannotTakeTheBytesFailsTheClose) {
    for (const Kind& kind : kKinds) {
        for (size_t size : {size_t{10}, size_t{4u << 20}}) {
            DumpStream full("/dev/full", kind.compression);
            std::string message;
            try {
                for (size_t written = 0; written < size; written += 1000)
                    full.writeLine(std::string(999, 'y'));
                full.close();
            } catch (const std::exception& e) {
                message = e.what();
            }
            EXPECT_EQ(message, "Stream write error") << kind.decompress << " " << size;
        }
    }
}

}  // namespace
}  // namespace tharvel
