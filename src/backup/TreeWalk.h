#pragma once
#include <dirent.h>
#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tharvel {

// Lists the files below a directory one at a time, in the copy's order: a directory's
// own files (in the order the file system returns them) before its subdirectories,
// and a subdirectory's whole subtree before the next one. Directories whose name
// begins with "." are skipped, symbolic links to directories are not followed and a
// symbolic link to a file is listed. Only one directory is open at a time, and what
// is held is the pending subdirectory names along the current path, never the list.
class TreeWalk {
public:
    // A directory that is `excluded` (same device and inode when the walk starts) is
    // left out with everything below it. "*" and "*.*" match every name.
    TreeWalk(const std::filesystem::path& root, std::string mask = "*.*",
             const std::filesystem::path& excluded = {});

    // The full path of the next file (`root` / relative path); false once the walk is
    // complete.
    bool next(std::filesystem::path& path);

private:
    struct DirCloser {
        void operator()(DIR* dir) const { closedir(dir); }
    };
    struct Level {
        std::filesystem::path directory;
        std::vector<std::string> subdirectories;
        size_t next = 0;
    };

    void enter(std::filesystem::path directory);

    std::string mask_;
    bool excludedSet_ = false;
    dev_t excludedDev_ = 0;
    ino_t excludedIno_ = 0;
    std::vector<Level> levels_;
    std::unique_ptr<DIR, DirCloser> dir_;  // of levels_.back() while its entries are read
};

}  // namespace tharvel
