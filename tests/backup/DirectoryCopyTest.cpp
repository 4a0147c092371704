#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "backup/DirectoryCopy.h"
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
    run.result = DirectoryCopy::BackupFiles(slash(source), slash(projectFolder), policy, stop,
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

    std::vector<std::string> list;
    DirectoryCopy::ListFiles(list, src.string());  // no trailing slash: one is added
    ASSERT_EQ(list.size(), 6u);
    std::set<std::string> top(list.begin(), list.begin() + 4);
    EXPECT_EQ(top, (std::set<std::string>{slash(src) + "a.txt", slash(src) + "b.txt",
                                          slash(src) + ".htaccess", slash(src) + "link-to-file"}));
    std::set<std::string> sub(list.begin() + 4, list.end());
    EXPECT_EQ(sub, (std::set<std::string>{slash(src) + "sub/c.txt", slash(src) + "sub/d.txt"}));

    std::vector<std::string> masked;
    DirectoryCopy::ListFiles(masked, slash(src), "*.txt");
    EXPECT_EQ(masked.size(), 4u);

    std::vector<std::string> excluded;
    DirectoryCopy::ListFiles(excluded, slash(src), "*.*", slash(src / "sub"));
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
        EXPECT_EQ(first.result.destinationRoot, slash(folder / "shop"));
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
        EXPECT_EQ(DirectoryCopy::IsNewer(c.source, c.destination), c.newer);
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

    EXPECT_EQ(DirectoryCopy::RoundedPercent(1, 8), 12);  // 12.5
    EXPECT_EQ(DirectoryCopy::RoundedPercent(3, 8), 38);  // 37.5
    EXPECT_EQ(DirectoryCopy::RoundedPercent(0, 0), 0);
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
    EXPECT_EQ(run.result.destinationRoot, slash(tmp / "p" / "s"));
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
    EXPECT_EQ(run.result.destinationRoot, slash(tmp / "p" / "site"));
    EXPECT_EQ(readFile(tmp / "p" / "site" / "a"), "a");
}

TEST(CopyFile, FailedCopyLeavesTheGoodDestinationAndNoTemporaryFile) {
    TempDir tmp;
    fs::path dest = tmp / "copy";
    writeFile(dest, "good copy");
    writeFile(tmp / "src", "new");
    // Reading this file fails part-way (an I/O error at the first byte).
    EXPECT_FALSE(DirectoryCopy::CopyFile("/proc/self/mem", dest.string(), true));
    EXPECT_FALSE(DirectoryCopy::CopyFile((tmp / "missing").string(), dest.string(), true));
    EXPECT_FALSE(DirectoryCopy::CopyFile((tmp / "src").string(), dest.string(), false));
    EXPECT_EQ(readFile(dest), "good copy");
    EXPECT_EQ(filesBelow(tmp.path()), (std::set<std::string>{"copy", "src"}));

    EXPECT_TRUE(DirectoryCopy::CopyFile((tmp / "src").string(), dest.string(), true));
    EXPECT_EQ(readFile(dest), "new");
    EXPECT_TRUE(DirectoryCopy::CopyFile((tmp / "src").string(), (tmp / "fresh").string(), false));
    EXPECT_EQ(filesBelow(tmp.path()), (std::set<std::string>{"copy", "fresh", "src"}));
}
