// The dump's rows are received on one thread, written as text on the caller's and
// written to the file on a third: failures and stops on any of them end the dump as
// they would on one thread, with every thread joined.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include "DumpTestSupport.h"
#include "backup/DatabaseBackup.h"
#include "dump/DumpStream.h"
#include "dump/SqlDump.h"
#include "dump/StreamWriteError.h"
#include "mysql/MySqlQuery.h"
#include "support/TempDir.h"
#include "support/ThreadCount.h"

namespace tharvel::test {
namespace {

// Rows enough for several buffers of the receiver and of the file.
const char* kBigTable =
    "CREATE TABLE t (id INT PRIMARY KEY, v VARCHAR(600));"
    "INSERT INTO t SELECT seq, CONCAT(seq, ':', REPEAT('a''b', 150)) FROM seq_1_to_30000;";

struct Stop : std::runtime_error {
    Stop() : std::runtime_error("stopped") {}
};

// A stop at a row event, plain and compressed: the caller gets its exception, the file
// ends with whole rows, every thread is gone, and the connection reads on.
TEST(DumpPipeline, AStopMidTableJoinsEveryThreadAndKeepsWholeRows) {
    MariaDb& db = MariaDb::shared();
    const std::string name = db.freshDatabase("pipeline_stop");
    db.sql(kBigTable, name);
    for (Compression compression : {Compression::None, Compression::Zstd}) {
        TempDir dir;
        auto c = openConnection(db, name);
        const size_t before = threadCount();
        SqlDump::Options options;
        options.connection = c.get();
        int rowEvents = 0;
        options.onProgress = [&](const std::string&, int, int, int percent) {
            if (percent > 0 && ++rowEvents == 3) throw Stop();
        };
        const std::string file = (dir / "d.sql").string();
        EXPECT_THROW(SqlDump(options).backupToFile(file, compression), Stop);
        EXPECT_EQ(threadCountSettled(before), before);
        EXPECT_EQ(rowEvents, 3);
        MySqlQuery q(*c);
        ASSERT_TRUE(q.open("SELECT COUNT(*) FROM t"));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0), "30000");
        if (compression == Compression::None) {
            const std::vector<std::string> lines = crlfLines(readFile(file));
            ASSERT_GE(lines.size(), 2u);
            const std::string& last = lines.back();
            EXPECT_EQ(last.rfind("  (", 0), 0u) << last;
            EXPECT_EQ(last.substr(last.size() - 3), "'),") << last;
        }
    }
}

// A disk that fills during the rows: the writer's failure stops the dump with the
// message of a failed write, the partial file is removed, and no thread is left.
TEST(DumpPipeline, AFullDiskDuringTheRowsFailsTheDumpAsAWriteError) {
    MariaDb& db = MariaDb::shared();
    const std::string name = db.freshDatabase("pipeline_full");
    db.sql(kBigTable, name);
    TempDir dir;
    const std::string folder = (dir / "Web shop").string() + "/";
    std::filesystem::create_directories(folder);
    const BackupProject r = serverRecord(db, name, dir.path().string() + "/");
    const std::string partial = DatabaseBackup::partialPath(DatabaseBackup::dumpFilePath(r, folder, 0));
    std::filesystem::create_symlink("/dev/full", partial);
    const size_t before = threadCount();
    int lastPercent = 0;
    try {
        DatabaseBackup::run(r, folder,
                            [&](const std::string&, int, int, int percent) { lastPercent = percent; });
        ADD_FAILURE() << "a dump onto a full disk succeeded";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Stream write error: No space left on device. The partial dump file \"" + partial +
                      "\" was removed.");
    }
    EXPECT_LT(lastPercent, 100) << "the failure waited for the end of the table";
    EXPECT_EQ(threadCountSettled(before), before);
}

// The uncompressed file is written on its own thread too: a file that takes no byte
// fails at a later line or at the close, never silently.
TEST(DumpPipeline, APlainFileThatTakesNoByteFailsTheStream) {
    for (size_t size : {size_t{10}, size_t{4u << 20}}) {
        std::string message;
        int error = 0;
        try {
            DumpStream full("/dev/full");
            for (size_t written = 0; written < size; written += 1000) full.writeLine(std::string(998, 'y'));
            full.close();
        } catch (const StreamWriteError& e) {
            message = e.what();
            error = e.error();
        }
        EXPECT_EQ(message, "Stream write error") << size;
        EXPECT_EQ(error, ENOSPC) << size;
    }
}

}  // namespace
}  // namespace tharvel::test
