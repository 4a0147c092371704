#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <tuple>

#include "backup/DirectoryCopy.h"
#include "platform/Rounding.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using tharvel::DirectoryCopy;
using tharvel::test::readFile;
using tharvel::test::TempDir;
using tharvel::test::writeFile;

namespace {

std::string slash(const fs::path& p) {
    return p.string() + "/";
}

void setMtime(const fs::path& file, time_t seconds) {
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

time_t mtimeOf(const fs::path& file) {
    struct stat st;
    EXPECT_EQ(stat(file.c_str(), &st), 0);
    return st.st_mtim.tv_sec;
}

// Every regular file below `root`, relative, sorted.
std::set<std::string> filesBelow(const fs::path& root) {
    std::set<std::string> files;
    if (!fs::exists(root)) return files;
    for (auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), root).string());
    return files;
}

struct CopyRun {
    DirectoryCopy::Result result;
    std::vector<int32_t> progress;
};

CopyRun backup(const fs::path& source, const fs::path& projectFolder, int32_t policy,
               std::function<bool()> stop = {}) {
    CopyRun run;
    run.result = DirectoryCopy::backupFiles(slash(source), slash(projectFolder), policy, stop,
                                            [&](int32_t p) { run.progress.push_back(p); });
    return run;
}

}  // namespace

TEST(ListFiles, DepthFirstSkipsDotDirectoriesAndDirectoryLinks) {
    TempDir tmp;
    fs::path src = tmp / "site";
    for (auto name : {"a.txt", "b.txt", ".htaccess"}) writeFile(src / name, name);
    writeFile(src / "sub" / "c.txt", "c");
    writeFile(src / "sub" / "d.txt", "d");
    writeFile(src / ".git" / "config", "x");
    fs::create_directories(src / "empty");
    fs::create_symlink("..", src / "sub" / "loop");     // leads back up the tree
    fs::create_symlink("a.txt", src / "link-to-file");  // copied as the file

    std::vector<fs::path> list;
    DirectoryCopy::listFiles(list, src.string());  // no trailing slash: one is added
    ASSERT_EQ(list.size(), 6u);
    std::set<std::string> top(list.begin(), list.begin() + 4);
    EXPECT_EQ(top, (std::set<std::string>{slash(src) + "a.txt", slash(src) + "b.txt",
                                          slash(src) + ".htaccess", slash(src) + "link-to-file"}));
    std::set<std::string> sub(list.begin() + 4, list.end());
    EXPECT_EQ(sub, (std::set<std::string>{slash(src) + "sub/c.txt", slash(src) + "sub/d.txt"}));

    std::vector<fs::path> masked;
    DirectoryCopy::listFiles(masked, slash(src), "*.txt");
    EXPECT_EQ(masked.size(), 4u);

    std::vector<fs::path> excluded;
    DirectoryCopy::listFiles(excluded, slash(src), "*.*", slash(src / "sub"));
    EXPECT_EQ(excluded.size(), 4u);
}

TEST(BackupFiles, PoliciesOnFirstAndSecondRun) {
    struct Case {
        int32_t policy;
        int32_t firstCount, secondCount;
        size_t filesAtDestination;
    };
    for (const Case& c : {Case{0, 4, 0, 4}, Case{1, 4, 4, 4}, Case{2, 4, 0, 4}, Case{3, 0, 0, 0}}) {
        SCOPED_TRACE(c.policy);
        TempDir tmp;
        fs::path src = tmp / "shop";
        writeFile(src / "index.php", "<?php");
        writeFile(src / "img" / "logo.png", std::string(70000, 'x'));
        writeFile(src / "img" / "deep" / "a.css", "a{}");
        writeFile(src / ".env", "KEY=1");
        fs::create_directories(src / "cache" / "empty");
        fs::path folder = tmp / "backups" / "Web shop";

        CopyRun first = backup(src, folder, c.policy);
        EXPECT_EQ(first.result.count, c.firstCount);
        EXPECT_EQ(first.result.destinationRoot.string(), slash(folder / "shop"));
        EXPECT_EQ(first.progress.back(), 100);
        CopyRun second = backup(src, folder, c.policy);
        EXPECT_EQ(second.result.count, c.secondCount);
        EXPECT_EQ(second.progress.back(), 100);

        fs::path dest = folder / "shop";
        EXPECT_EQ(filesBelow(dest).size(), c.filesAtDestination);
        // Directories of listed files are made whatever the policy; empty ones never.
        EXPECT_TRUE(fs::is_directory(dest / "img" / "deep"));
        EXPECT_FALSE(fs::exists(dest / "cache"));
        if (c.filesAtDestination) {
            EXPECT_EQ(readFile(dest / "img" / "logo.png"), std::string(70000, 'x'));
            EXPECT_EQ(readFile(dest / ".env"), "KEY=1");
        }
    }
}

TEST(BackupFiles, KeepsPermissionBitsAndModificationTime) {
    TempDir tmp;
    fs::path src = tmp / "s";
    writeFile(src / "run.sh", "#!/bin/sh\n");
    ASSERT_EQ(chmod((src / "run.sh").c_str(), 0750), 0);
    setMtime(src / "run.sh", 1'000'000'000);
    CopyRun run = backup(src, tmp / "p", 1);
    ASSERT_EQ(run.result.count, 1);
    fs::path copy = tmp / "p" / "s" / "run.sh";
    struct stat st;
    ASSERT_EQ(stat(copy.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1'000'000'000);
}

TEST(BackupFiles, OverwriteOlderCopiesExactlyTheTouchedFile) {
    TempDir tmp;
    fs::path src = tmp / "s";
    for (auto name : {"a", "b", "c"}) {
        writeFile(src / name, name);
        setMtime(src / name, 1'700'000'000);
    }
    ASSERT_EQ(backup(src, tmp / "p", 2).result.count, 3);
    writeFile(src / "b", "changed");
    setMtime(src / "b", 1'700'000'010);
    // Changed within the same two-second slot as its copy: not newer.
    writeFile(src / "c", "same slot");
    setMtime(src / "c", 1'700'000'001);
    CopyRun run = backup(src, tmp / "p", 2);
    EXPECT_EQ(run.result.count, 1);
    EXPECT_EQ(readFile(tmp / "p" / "s" / "b"), "changed");
    EXPECT_EQ(readFile(tmp / "p" / "s" / "c"), "c");
    EXPECT_EQ(mtimeOf(tmp / "p" / "s" / "b"), 1'700'000'010);

    // Skip existing picks up only a file that has appeared since.
    writeFile(src / "new", "n");
    EXPECT_EQ(backup(src, tmp / "p", 0).result.count, 1);
}

TEST(BackupFiles, TwoSecondLocalTimeComparison) {
    struct Case {
        int64_t source, destination;
        bool newer;
    };
    const int64_t even = 1'700'000'000;
    for (const Case& c :
         {Case{even + 1, even, false}, Case{even + 2, even + 1, true}, Case{even, even, false},
          Case{even - 1, even, false}, Case{even + 3600, even, true}}) {
        SCOPED_TRACE(c.source - even);
        EXPECT_EQ(DirectoryCopy::isNewer(c.source, c.destination), c.newer);
    }
}

TEST(BackupFiles, ProgressOnlyOnChangeWithHalvesToEven) {
    TempDir tmp;
    fs::path src = tmp / "many";
    fs::create_directories(src);
    for (int i = 0; i < 1000; ++i) writeFile(src / ("f" + std::to_string(i)), "");
    CopyRun many = backup(src, tmp / "p", 1);
    EXPECT_EQ(many.result.count, 1000);
    ASSERT_EQ(many.progress.size(), 101u);
    for (int i = 0; i <= 100; ++i) EXPECT_EQ(many.progress[i], i);

    fs::path three = tmp / "three";
    for (auto name : {"a", "b", "c"}) writeFile(three / name, name);
    EXPECT_EQ(backup(three, tmp / "p", 1).progress, (std::vector<int32_t>{33, 67, 100}));
}

TEST(BackupFiles, StopEndsTheLoopAfterTheFileInHand) {
    TempDir tmp;
    fs::path src = tmp / "s";
    for (auto name : {"a", "b", "c", "d"}) writeFile(src / name, name);
    int checks = 0;
    CopyRun run = backup(src, tmp / "p", 1, [&] { return ++checks == 2; });
    EXPECT_EQ(checks, 2);
    EXPECT_EQ(run.result.count, 2);
    EXPECT_EQ(run.progress, (std::vector<int32_t>{25}));
    EXPECT_EQ(run.result.destinationRoot.string(), slash(tmp / "p" / "s"));
    EXPECT_EQ(filesBelow(tmp / "p" / "s").size(), 2u);
}

TEST(BackupFiles, BackupFolderInsideTheSourceIsNotCopiedAgain) {
    TempDir tmp;
    fs::path src = tmp / "site";
    writeFile(src / "index.html", "hi");
    writeFile(src / "css" / "a.css", "a");
    fs::path folder = src / "backups" / "Site";
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        EXPECT_EQ(backup(src, folder, 1).result.count, 2);
    }
    EXPECT_EQ(filesBelow(folder), (std::set<std::string>{"site/index.html", "site/css/a.css"}));
}

TEST(BackupFiles, DotComponentsStayInsideTheProjectFolder) {
    TempDir tmp;
    writeFile(tmp / "site" / "a", "a");
    fs::create_directories(tmp / "site" / "sub");
    CopyRun run = backup(tmp / "site" / "sub" / "..", tmp / "p", 1);
    EXPECT_EQ(run.result.destinationRoot.string(), slash(tmp / "p" / "site"));
    EXPECT_EQ(readFile(tmp / "p" / "site" / "a"), "a");
}

TEST(CopyFile, FailedCopyLeavesTheGoodDestinationAndNoTemporaryFile) {
    for (bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed temporary" : "named temporary");
        TempDir tmp;
        fs::path dest = tmp / "copy";
        writeFile(dest, "good copy");
        writeFile(tmp / "src", "new");
        auto copy = [&](const fs::path& from, const fs::path& to, bool replace) {
            return DirectoryCopy::copyFile(from.string(), to.string(), replace, unnamed);
        };
        // Reading this file fails part-way (an I/O error at the first byte).
        EXPECT_FALSE(copy("/proc/self/mem", dest, true));
        EXPECT_FALSE(copy(tmp / "missing", dest, true));
        EXPECT_FALSE(copy(tmp / "src", dest, false));
        // A named pipe is refused at once instead of waiting for a writer.
        ASSERT_EQ(mkfifo((tmp / "pipe").c_str(), 0600), 0);
        EXPECT_FALSE(copy(tmp / "pipe", dest, true));
        EXPECT_EQ(readFile(dest), "good copy");
        EXPECT_EQ(filesBelow(tmp.path()), (std::set<std::string>{"copy", "src"}));

        ASSERT_EQ(chmod((tmp / "src").c_str(), 0640), 0);
        setMtime(tmp / "src", 1'234'567'890);
        EXPECT_TRUE(copy(tmp / "src", dest, true));
        EXPECT_EQ(readFile(dest), "new");
        EXPECT_TRUE(copy(tmp / "src", tmp / "fresh", false));
        EXPECT_EQ(filesBelow(tmp.path()), (std::set<std::string>{"copy", "fresh", "src"}));
        for (auto name : {"copy", "fresh"}) {
            struct stat st;
            ASSERT_EQ(stat((tmp / name).c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0640u);
            EXPECT_EQ(st.st_mtim.tv_sec, 1'234'567'890);
        }
    }
}

namespace {

// A tree deeper and wider than the small queues below: `width` files at the top, then
// a chain of `depth` nested folders with two files each, and a file of `bigBytes`
// in the middle of the chain.
fs::path makeTree(const fs::path& root, int width, int depth, size_t bigBytes = 0) {
    fs::path src = root / "tree";
    for (int i = 0; i < width; ++i) writeFile(src / ("w" + std::to_string(i)), "wide " + std::to_string(i));
    fs::path dir = src;
    for (int d = 0; d < depth; ++d) {
        dir /= "d" + std::to_string(d);
        writeFile(dir / "x", "x at " + std::to_string(d));
        writeFile(dir / "y", std::string(static_cast<size_t>(d) * 97, 'y'));
        if (bigBytes && d == depth / 2) writeFile(dir / "big", std::string(bigBytes, 'b'));
    }
    return src;
}

// Relative paths of the listing order, which is the copy's order.
std::vector<std::string> walkOrder(const fs::path& src) {
    std::vector<fs::path> list;
    DirectoryCopy::listFiles(list, slash(src));
    std::vector<std::string> order;
    for (const fs::path& file : list) order.push_back(file.string().substr(slash(src).size()));
    return order;
}

// Every name below `root`, files and folders, relative: a left temporary shows here.
std::set<std::string> namesBelow(const fs::path& root) {
    std::set<std::string> names;
    if (!fs::exists(root)) return names;
    for (auto& entry : fs::recursive_directory_iterator(root))
        names.insert(fs::relative(entry.path(), root).string());
    return names;
}

CopyRun backupWith(const fs::path& source, const fs::path& projectFolder, int32_t policy,
                   tharvel::CopyOptions options, std::function<bool()> stop = {},
                   std::function<void(int32_t)> onProgress = {}) {
    CopyRun run;
    run.result = DirectoryCopy::backupFiles(
        slash(source), slash(projectFolder), policy, stop,
        [&](int32_t p) {
            run.progress.push_back(p);
            if (onProgress) onProgress(p);
        },
        options);
    return run;
}

std::vector<int32_t> expectedProgress(uint64_t n, uint64_t upTo) {
    std::vector<int32_t> percents;
    for (uint64_t i = 1; i <= upTo; ++i) {
        int32_t p = tharvel::roundedPercent(i, n);
        if (percents.empty() || percents.back() != p) percents.push_back(p);
    }
    return percents;
}

}  // namespace

TEST(ParallelCopy, SameCountsProgressAndFilesWhateverTheWorkersAndQueue) {
    struct Case {
        unsigned workers;
        size_t queue;
    };
    TempDir tmp;
    fs::path src = makeTree(tmp.path(), 150, 40, (1 << 20) + 7);
    const std::vector<std::string> order = walkOrder(src);
    const uint64_t n = order.size();
    ASSERT_EQ(n, 150u + 80u + 1u);
    const std::set<std::string> sourceFiles = filesBelow(src);
    for (const Case& c : {Case{1, 1}, Case{4, 1}, Case{4, 3}, Case{3, 16}, Case{8, 256}}) {
        SCOPED_TRACE(std::to_string(c.workers) + " workers, queue " + std::to_string(c.queue));
        // Policy, its first and second count.
        for (auto [policy, first, second] :
             {std::tuple{0, n, uint64_t{0}}, std::tuple{1, n, n}, std::tuple{2, n, uint64_t{0}},
              std::tuple{3, uint64_t{0}, uint64_t{0}}}) {
            SCOPED_TRACE(policy);
            fs::path folder = tmp / ("p" + std::to_string(c.workers) + "-" + std::to_string(c.queue) + "-" +
                                     std::to_string(policy));
            CopyRun one = backupWith(src, folder, policy, {c.workers, c.queue});
            EXPECT_EQ(static_cast<uint64_t>(one.result.count), first);
            EXPECT_EQ(one.progress, expectedProgress(n, n));
            CopyRun two = backupWith(src, folder, policy, {c.workers, c.queue});
            EXPECT_EQ(static_cast<uint64_t>(two.result.count), second);
            EXPECT_EQ(two.progress, expectedProgress(n, n));
            fs::path dest = folder / "tree";
            // The deepest folder is made whatever the policy; files only when copied.
            EXPECT_TRUE(fs::is_directory((dest / order.back()).parent_path()));
            if (policy == 3) {
                EXPECT_TRUE(filesBelow(dest).empty());
                continue;
            }
            EXPECT_EQ(namesBelow(dest).size(), namesBelow(src).size());  // no temporary left
            ASSERT_EQ(filesBelow(dest), sourceFiles);
            for (const auto& file : order) EXPECT_EQ(readFile(dest / file), readFile(src / file)) << file;
        }
    }
}

TEST(ParallelCopy, StopKeepsExactlyTheFilesBeforeItInWalkOrder) {
    TempDir tmp;
    // The large file comes right after the third stop, so it may be written ahead
    // when that stop comes.
    fs::path src = makeTree(tmp.path(), 4, 30, 2 << 20);
    const std::vector<std::string> order = walkOrder(src);
    const uint64_t n = order.size();
    for (uint64_t stopAfter : {uint64_t{1}, uint64_t{5}, uint64_t{33}, n - 1, n}) {
        for (unsigned workers : {1u, 4u}) {
            SCOPED_TRACE(std::to_string(stopAfter) + " files, " + std::to_string(workers) + " workers");
            fs::path folder = tmp / ("p" + std::to_string(stopAfter) + "-" + std::to_string(workers));
            uint64_t checks = 0;
            CopyRun run = backupWith(src, folder, 1, {workers, 8}, [&] { return ++checks == stopAfter; });
            EXPECT_EQ(checks, stopAfter);
            EXPECT_EQ(static_cast<uint64_t>(run.result.count), stopAfter);
            EXPECT_EQ(run.progress, expectedProgress(n, stopAfter - 1));
            std::set<std::string> kept(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(stopAfter));
            EXPECT_EQ(filesBelow(folder / "tree"), kept);
            for (const auto& name : namesBelow(folder / "tree"))
                EXPECT_EQ(name.find(".tharvel-copy"), std::string::npos) << name;
        }
    }
}

TEST(ParallelCopy, FailedCopiesCountedOutInWalkOrder) {
    TempDir tmp;
    fs::path src = tmp / "s";
    // Walk order: top files, then "a", then "b" (each directory's own files first).
    writeFile(src / "ok1", "1");
    ASSERT_EQ(mkfifo((src / "pipe").c_str(), 0600), 0);     // refused: not a regular file
    fs::create_symlink(tmp / "nowhere", src / "dangling");  // refused: nothing to read
    writeFile(src / "a" / "ok2", "2");
    writeFile(src / "a" / "taken", "new");  // its destination is a folder
    writeFile(src / "b" / "ok3", "3");
    fs::path folder = tmp / "p";
    fs::create_directories(folder / "s" / "a" / "taken" / "inside");
    const std::vector<std::string> order = walkOrder(src);
    ASSERT_EQ(order.size(), 6u);
    for (unsigned workers : {1u, 4u}) {
        SCOPED_TRACE(workers);
        CopyRun run = backupWith(src, folder, 1, {workers, 2});
        EXPECT_EQ(run.result.count, 3);
        EXPECT_EQ(run.progress, expectedProgress(6, 6));
        EXPECT_EQ(filesBelow(folder / "s"), (std::set<std::string>{"ok1", "a/ok2", "b/ok3"}));
        EXPECT_TRUE(fs::is_directory(folder / "s" / "a" / "taken" / "inside"));

        // A stop right after a failed copy: the files before it are kept, none after.
        const auto failed = std::find(order.begin(), order.end(), "dangling") - order.begin();
        const fs::path fresh = tmp / ("q" + std::to_string(workers));
        uint64_t checks = 0;
        CopyRun stopped = backupWith(src, fresh, 1, {workers, 2},
                                     [&] { return ++checks == static_cast<uint64_t>(failed) + 1; });
        const std::set<std::string> copyable{"ok1", "a/ok2", "a/taken", "b/ok3"};
        std::set<std::string> expected;
        for (std::ptrdiff_t i = 0; i <= failed; ++i)
            if (copyable.count(order[i])) expected.insert(order[i]);
        EXPECT_EQ(filesBelow(fresh / "s"), expected);
        EXPECT_EQ(static_cast<size_t>(stopped.result.count), expected.size());
    }
}

TEST(ParallelCopy, TreeChangedDuringTheCopy) {
    struct Case {
        const char* name;
        int change;  // -1 removes the folder "later", +1 adds files to it
        int32_t count;
    };
    for (const Case& c : {Case{"files gone", -1, 2}, Case{"files added", +1, 7}}) {
        SCOPED_TRACE(c.name);
        TempDir tmp;
        fs::path src = tmp / "s";
        writeFile(src / "a", "a");
        writeFile(src / "b", "b");
        for (auto name : {"x", "y", "z"}) writeFile(src / "later" / name, name);
        bool changed = false;
        // The first percent comes before the walk has reached "later".
        CopyRun run = backupWith(src, tmp / "p", 1, {1, 1}, {}, [&](int32_t) {
            if (changed) return;
            changed = true;
            if (c.change < 0)
                fs::remove_all(src / "later");
            else
                for (auto name : {"v", "w"}) writeFile(src / "later" / name, name);
        });
        EXPECT_EQ(run.result.count, c.count);
        // Still every percent once, rising, up to 100 and no further.
        ASSERT_FALSE(run.progress.empty());
        EXPECT_EQ(run.progress.back(), 100);
        EXPECT_TRUE(std::is_sorted(run.progress.begin(), run.progress.end()));
        EXPECT_EQ(std::adjacent_find(run.progress.begin(), run.progress.end()), run.progress.end());
    }
}

TEST(ListFiles, DeepChainAndWideFolderInOrder) {
    TempDir tmp;
    fs::path src = makeTree(tmp.path(), 500, 300);
    const std::vector<std::string> order = walkOrder(src);
    ASSERT_EQ(order.size(), 500u + 600u);
    // The wide top comes first, then each depth's two files before the next depth's.
    for (size_t i = 0; i < 500; ++i) EXPECT_EQ(order[i].find('/'), std::string::npos) << order[i];
    for (size_t d = 0; d < 300; ++d) {
        std::set<std::string> level{order[500 + 2 * d], order[501 + 2 * d]};
        fs::path dir;
        for (size_t k = 0; k <= d; ++k) dir /= "d" + std::to_string(k);
        EXPECT_EQ(level, (std::set<std::string>{(dir / "x").string(), (dir / "y").string()}));
    }
    CopyRun run = backupWith(src, tmp / "p", 0, {4, 4});
    EXPECT_EQ(run.result.count, 1100);
}
