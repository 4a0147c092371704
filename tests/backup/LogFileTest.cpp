#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "backup/LogFile.h"
#include "support/TempDir.h"

using tharvel::LogFile;
using tharvel::test::readFile;
using tharvel::test::TempDir;

namespace {

std::tm at(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

}  // namespace

TEST(LogFile, WritesExactBytes) {
    struct Case {
        std::string text;
        bool stamped;
        std::string bytes;
    };
    const std::string s = "09/12/2024  14:05:07  ";
    const Case cases[] = {
        {"Starting backup project 'Web shop'", true, s + "Starting backup project 'Web shop'\r\n"},
        {"", false, "\r\n"},
        {"", true, s + "\r\n"},
        {"first\r\nsecond", true, s + "first\r\n" + s + "second\r\n"},
        {"a\r\nb\nc\rd\r\n", false, "a\r\nb\r\nc\r\nd\r\n"},
        {"only\nLF", false, "only\nLF\r\n"},  // one line unless the text holds CR LF
        {"Projekt 'Bäckerei Größe'", true,
         s + "Projekt 'B\xC3\xA4"
             "ckerei Gr\xC3\xB6\xC3\x9F"
             "e'\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TempDir tmp;
        LogFile log((tmp / "TharvelLog.txt").string(), [] { return at(2024, 12, 9, 14, 5, 7); });
        std::vector<std::string> written;
        EXPECT_TRUE(log.writeLine(c.text, c.stamped, &written));
        EXPECT_EQ(readFile(tmp / "TharvelLog.txt"), c.bytes);
        std::string joined;
        for (auto& line : written) joined += line + "\r\n";
        EXPECT_EQ(joined, c.bytes);
    }
}

TEST(LogFile, CreatesDirectoryAndAppendsAcrossInstances) {
    TempDir tmp;
    auto path = (tmp / "new" / "dir" / "TharvelLog.txt").string();
    {
        LogFile log(path, [] { return at(2025, 1, 2, 3, 4, 5); });
        EXPECT_TRUE(std::filesystem::is_directory(tmp / "new" / "dir"));
        EXPECT_TRUE(log.writeLine("one", true));
    }
    LogFile again(path, [] { return at(2025, 1, 2, 23, 59, 59); });
    EXPECT_TRUE(again.writeLine("two", true));
    EXPECT_EQ(readFile(path), "02/01/2025  03:04:05  one\r\n02/01/2025  23:59:59  two\r\n");
}

TEST(LogFile, FailuresAreReported) {
    TempDir tmp;
    EXPECT_FALSE(LogFile("").writeLine("x", true));
    // A directory where the file should be cannot be opened for appending.
    std::filesystem::create_directories(tmp / "TharvelLog.txt");
    EXPECT_FALSE(LogFile((tmp / "TharvelLog.txt").string()).writeLine("x", true));
    // A write that fails after opening (no space left) raises.
    EXPECT_THROW(LogFile("/dev/full").writeLine("x", true), std::system_error);
}
