#include "backup/TreeWalk.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <utility>

namespace tharvel {

TreeWalk::TreeWalk(const std::filesystem::path& root, std::string mask, const std::filesystem::path& excluded)
    : mask_(std::move(mask)) {
    if (mask_ == "*" || mask_ == "*.*") mask_.clear();
    struct stat st;
    if (!excluded.empty() && stat(excluded.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        excludedSet_ = true;
        excludedDev_ = st.st_dev;
        excludedIno_ = st.st_ino;
    }
    enter(root);
}

void TreeWalk::enter(std::filesystem::path directory) {
    levels_.push_back({std::move(directory), {}, 0});
    dir_.reset(opendir(levels_.back().directory.c_str()));
    if (dir_ && excludedSet_) {
        struct stat st;
        if (fstat(dirfd(dir_.get()), &st) == 0 && st.st_dev == excludedDev_ && st.st_ino == excludedIno_)
            dir_.reset();
    }
}

bool TreeWalk::next(std::filesystem::path& path) {
    for (;;) {
        if (dir_) {
            struct dirent* entry = readdir(dir_.get());
            if (!entry) {
                dir_.reset();
                continue;
            }
            const char* name = entry->d_name;
            const int fd = dirfd(dir_.get());
            bool isDirectory = false;
            bool isLink = false;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat st;
                if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
                isDirectory = S_ISDIR(st.st_mode);
                isLink = S_ISLNK(st.st_mode);
            } else {
                isDirectory = entry->d_type == DT_DIR;
                isLink = entry->d_type == DT_LNK;
            }
            if (isLink) {
                // A link to a directory is never walked (it could lead back up the
                // tree); a link to a file is copied as that file.
                struct stat target;
                if (fstatat(fd, name, &target, 0) == 0 && S_ISDIR(target.st_mode)) continue;
            }
            if (isDirectory) {
                if (name[0] != '.') levels_.back().subdirectories.emplace_back(name);
                continue;
            }
            if (!mask_.empty() && fnmatch(mask_.c_str(), name, 0) != 0) continue;
            path = levels_.back().directory / name;
            return true;
        }
        if (levels_.empty()) return false;
        Level& top = levels_.back();
        if (top.next < top.subdirectories.size()) {
            std::filesystem::path child = top.directory / std::move(top.subdirectories[top.next]);
            top.subdirectories[top.next++] = std::string();
            enter(std::move(child));
            continue;
        }
        levels_.pop_back();
    }
}

}  // namespace tharvel
