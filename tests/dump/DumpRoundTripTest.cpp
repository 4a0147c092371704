#include <gtest/gtest.h>

#include "DumpTestSupport.h"
#include "support/TempDir.h"

namespace tharvel::test {
namespace {

std::string firstDifference(const std::string& a, const std::string& b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    size_t from = a.rfind('\n', i);
    from = from == std::string::npos ? 0 : from + 1;
    return "dumped:   " + a.substr(from, i - from + 200) + "\nrestored: " + b.substr(from, i - from + 200);
}

TEST(DumpRoundTrip, TheStandardClientRestoresEveryValueAndDefinitionExactly) {
    MariaDb& db = MariaDb::shared();
    const std::string source = db.freshDatabase("roundtrip");
    db.sql(roundTripFixture(), source);
    TempDir dir;
    const JobDump job = dumpWithJob(db, source, dir.path());
    const auto& notes = job.notes;
    ASSERT_FALSE(notes.empty());
    ASSERT_EQ(notes.back().code, 2) << notes.back().text;
    const std::string& dump = job.path;
    EXPECT_EQ(notes[notes.size() - 2].text, "Backup MySQL database to: '" + dump + "' finished successfully");
    EXPECT_FALSE(std::filesystem::exists(dump + ".partial"));

    // Outside values the file has CR LF line ends only, and values carry no raw line breaks.
    EXPECT_EQ(lineBreakFault(readFile(dump)), "");

    const std::string restored = db.freshDatabase("restored");
    db.runScript(dump, restored);
    const std::string before = databaseImage(db, source);
    const std::string after = databaseImage(db, restored);
    EXPECT_TRUE(after == before) << firstDifference(before, after);
    // The image really holds the rows it compares.
    EXPECT_NE(before.find("== 6D616E79 BASE TABLE"), std::string::npos);  // "many"
    EXPECT_EQ(db.sql("SELECT COUNT(*), SUM(id) FROM many", restored), "1000\t500500\n");
    EXPECT_EQ(
        db.sql("SELECT COUNT(DISTINCT UNIX_TIMESTAMP(ts)) FROM types WHERE ts LIKE '2024-10-27%'", restored),
        "2\n");
    EXPECT_EQ(db.sql("SELECT id FROM ai ORDER BY id", restored), "0\n1\n7\n");
    EXPECT_EQ(db.sql("SELECT v FROM a_top", restored), "late\n");
}

TEST(DumpRoundTrip, CompressedDumpsRestoreExactlyThroughTheStandardTools) {
    MariaDb& db = MariaDb::shared();
    const std::string source = db.freshDatabase("packed");
    db.sql(roundTripFixture(), source);
    const std::string before = databaseImage(db, source);
    struct Kind {
        const char* name;
        const char* suffix;
        const char* tool;
    };
    for (const Kind& kind : {Kind{"gzip", ".sql.gz", "zcat"}, Kind{"zstd", ".sql.zst", "zstd -dcq"}}) {
        TempDir dir;
        BackupProject record = serverRecord(db, source, dir.path().string() + "/");
        record.dumpCompression = kind.name;
        auto queue = std::make_shared<NotificationQueue>();
        auto notes = runJob(BackupJob::create(record, queue), queue);
        ASSERT_FALSE(notes.empty());
        ASSERT_EQ(notes.back().code, 2) << notes.back().text;
        const std::string dump = (dir.path() / "Web shop" / (source + kind.suffix)).string();
        EXPECT_EQ(notes[notes.size() - 2].text,
                  "Backup MySQL database to: '" + dump + "' finished successfully");
        EXPECT_FALSE(std::filesystem::exists(dump + ".partial"));

        const std::string plain = (dir.path() / "plain.sql").string();
        const std::string command = std::string(kind.tool) + " < '" + dump + "' > '" + plain + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const std::string restored = db.freshDatabase("unpacked");
        db.runScript(plain, restored);
        const std::string after = databaseImage(db, restored);
        EXPECT_TRUE(after == before) << kind.name << "\n" << firstDifference(before, after);
        EXPECT_EQ(db.sql("SELECT COUNT(*), SUM(id) FROM many", restored), "1000\t500500\n");
    }
}

}  // namespace
}  // namespace tharvel::test
