#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tharvel {

// How a copy spreads over threads; 0 takes the default.
struct CopyOptions {
    unsigned workers = 0;  // threads writing copies
    size_t queue = 0;      // copies handed out ahead of the one the walk waits for
};

// The copy step of a backup job: lists a source tree depth first and copies it into
// the project folder under the source's last path component, by copy policy.
//
// Directories passed in and returned end in "/"; "/" alone means not set.
class DirectoryCopy {
public:
    struct Result {
        int32_t count = 0;                      // files copied
        std::filesystem::path destinationRoot;  // project folder + last source component + "/"
    };

    // Copy policies (the project's SkipFiles). Any other value copies nothing.
    enum Policy : int32_t { SkipExisting = 0, Overwrite = 1, OverwriteOlder = 2 };

    // Appends the full path of every file below `directory` whose name matches `mask`
    // ("*.*" and "*" match every name), at every depth: a directory's own files first,
    // then each subdirectory's subtree. Directories whose name begins with "." are
    // skipped; symbolic links to directories are not followed; a symbolic link to a
    // file is listed. A directory that is the same as `excluded` (by device and
    // inode) is left out with everything below it.
    static void listFiles(std::vector<std::filesystem::path>& list, std::filesystem::path directory,
                          const std::string& mask = "*.*", const std::filesystem::path& excluded = {});

    // Copies every listed file of `sourceDirectory` into
    // `projectFolder` + last component + "/". Never raises: files that cannot be
    // copied are simply not counted. `progress` receives whole percents, only when
    // they change; `stopRequested` is read after each file and ends the loop.
    // The project folder itself is left out of the walk, so a backup folder inside
    // the source never copies earlier backups.
    //
    // Copies are written on a few workers ahead of the walk but named one by one in
    // walk order on the calling thread, which alone calls `stopRequested` and
    // `progress`: the count, the percents and what a stop leaves are those of a copy
    // made file after file. Copies written past a stop are discarded unnamed.
    static Result backupFiles(const std::filesystem::path& sourceDirectory,
                              const std::filesystem::path& projectFolder, int32_t policy,
                              const std::function<bool()>& stopRequested,
                              const std::function<void(int32_t)>& progress, const CopyOptions& options = {});

    // Copies one file: contents (kernel fast path where it applies), permission bits and
    // modification time, written into an unnamed file in the destination's directory
    // (or, where the file system has none or `unnamedTemporary` is false, under a
    // temporary name beside it) that takes the destination's name only when complete.
    // With `replace` false an existing destination makes the copy fail. Returns false
    // on any failure, leaving `destination` as it was.
    static bool copyFile(const std::filesystem::path& source, const std::filesystem::path& destination,
                         bool replace, bool unnamedTemporary = true);

    // True when `source`'s modification time is later than `destination`'s, compared in
    // local time at two-second resolution.
    static bool isNewer(int64_t sourceSeconds, int64_t destinationSeconds);
};

}  // namespace tharvel
