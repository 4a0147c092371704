#include "backup/DirectoryCopy.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <tuple>

namespace tharvel {
namespace {

std::string withSlash(std::string directory) {
    if (directory.empty() || directory.back() != '/') directory += '/';
    return directory;
}

bool matches(const std::string& mask, const char* name) {
    if (mask.empty() || mask == "*" || mask == "*.*") return true;
    return fnmatch(mask.c_str(), name, 0) == 0;
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

struct Identity {
    bool set = false;
    dev_t dev = 0;
    ino_t ino = 0;
};

void walk(std::vector<std::string>& list, const std::string& directory, const std::string& mask,
          const Identity& excluded) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(directory.c_str()));
    if (!dir) return;
    int fd = dirfd(dir.get());
    if (excluded.set) {
        struct stat st;
        if (fstat(fd, &st) == 0 && st.st_dev == excluded.dev && st.st_ino == excluded.ino) return;
    }
    std::vector<std::string> subdirectories;
    while (struct dirent* entry = readdir(dir.get())) {
        const char* name = entry->d_name;
        bool isDirectory = false;
        bool isLink = false;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            isDirectory = S_ISDIR(st.st_mode);
            isLink = S_ISLNK(st.st_mode);
        } else {
            isDirectory = type == DT_DIR;
            isLink = type == DT_LNK;
        }
        if (isLink) {
            // A link to a directory is never walked (it could lead back up the tree);
            // a link to a file is copied as that file.
            struct stat target;
            if (fstatat(fd, name, &target, 0) == 0 && S_ISDIR(target.st_mode)) continue;
        }
        if (isDirectory) {
            if (name[0] != '.') subdirectories.emplace_back(name);
        } else if (matches(mask, name)) {
            list.push_back(directory + name);
        }
    }
    dir.reset();
    for (const auto& sub : subdirectories) walk(list, directory + sub + "/", mask, excluded);
}

// Creates `directory` and every missing parent; failures are left for the copy to meet.
void makeDirectories(const std::string& directory) {
    std::string path = directory;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.empty() || path == "/") return;
    if (mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) return;
    if (errno != ENOENT) return;
    auto slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return;
    makeDirectories(path.substr(0, slash));
    mkdir(path.c_str(), 0777);
}

// The folder name that a source directory gets inside the project folder.
std::string lastComponent(const std::string& sourceDirectory) {
    std::string path = sourceDirectory;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    auto slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
        // "." or ".." would put the copy outside the project folder; use the real name.
        std::error_code ec;
        auto real = std::filesystem::canonical(std::filesystem::path(path), ec);
        if (ec) real = std::filesystem::path(path).lexically_normal();
        while (!real.empty() && !real.has_filename() && real.has_parent_path() && real != real.parent_path())
            real = real.parent_path();
        name = real.filename().string();
        if (name.empty() || name == "." || name == "..") name = "root";
    }
    return name;
}

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

bool fallbackErrno(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EPERM ||
           error == EBADF;
}

bool readWriteCopy(int in, int out, off_t offset) {
    if (lseek(in, offset, SEEK_SET) < 0 || lseek(out, offset, SEEK_SET) < 0) return false;
    std::vector<char> buffer(256 * 1024);
    for (;;) {
        ssize_t got = read(in, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (got == 0) return true;
        for (ssize_t done = 0; done < got;) {
            ssize_t put = write(out, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            done += put;
        }
    }
}

// Copies all of `in` to `out`: copy_file_range, else sendfile, else read and write.
bool copyContents(int in, int out, off_t size) {
    off_t copied = 0;
    bool useRange = true;
    bool useSendfile = true;
    for (;;) {
        size_t chunk = size > copied ? static_cast<size_t>(size - copied) : (1u << 20);
        if (chunk > (1u << 30)) chunk = 1u << 30;
        ssize_t n;
        if (useRange) {
            n = copy_file_range(in, nullptr, out, nullptr, chunk, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && copied == 0 && fallbackErrno(errno)) {
                useRange = false;
                continue;
            }
            // A file system that reports nothing for a non-empty file (some virtual
            // ones do) gets the plain copy.
            if (n == 0 && copied == 0 && size > 0) return readWriteCopy(in, out, 0);
        } else if (useSendfile) {
            n = sendfile(out, in, nullptr, chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && copied == 0 && fallbackErrno(errno)) {
                useSendfile = false;
                continue;
            }
        } else {
            return readWriteCopy(in, out, copied);
        }
        if (n < 0) return false;
        if (n == 0) return true;
        copied += n;
    }
}

}  // namespace

void DirectoryCopy::ListFiles(std::vector<std::string>& list, std::string directory, const std::string& mask,
                              const std::string& excluded) {
    directory = withSlash(std::move(directory));
    Identity skip;
    struct stat st;
    if (!excluded.empty() && stat(excluded.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        skip.set = true;
        skip.dev = st.st_dev;
        skip.ino = st.st_ino;
    }
    walk(list, directory, mask, skip);
}

int32_t DirectoryCopy::RoundedPercent(uint64_t done, uint64_t total) {
    if (total == 0) return 0;
    uint64_t scaled = done * 100;
    uint64_t quotient = scaled / total;
    uint64_t twice = (scaled % total) * 2;
    if (twice > total || (twice == total && (quotient & 1))) ++quotient;
    return static_cast<int32_t>(quotient);
}

bool DirectoryCopy::IsNewer(int64_t sourceSeconds, int64_t destinationSeconds) {
    auto slot = [](int64_t seconds) {
        time_t t = static_cast<time_t>(seconds);
        struct tm local {};
        if (!localtime_r(&t, &local)) return std::make_tuple(0, 0, 0, 0, 0, 0);
        return std::make_tuple(local.tm_year, local.tm_mon, local.tm_mday, local.tm_hour, local.tm_min,
                               local.tm_sec / 2);
    };
    return slot(sourceSeconds) > slot(destinationSeconds);
}

bool DirectoryCopy::CopyFile(const std::string& source, const std::string& destination, bool replace) {
    struct stat existing;
    if (!replace && lstat(destination.c_str(), &existing) == 0) return false;

    // O_NONBLOCK so that a named pipe in the tree cannot hang the job; it is then
    // refused as not a regular file.
    Fd in(open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.fd < 0) return false;
    struct stat st;
    if (fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    fcntl(in.fd, F_SETFL, fcntl(in.fd, F_GETFL) & ~O_NONBLOCK);

    auto slash = destination.rfind('/');
    std::string temp = (slash == std::string::npos ? std::string() : destination.substr(0, slash + 1)) +
                       ".tharvel-copy-XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    int outFd = mkostemp(name.data(), O_CLOEXEC);
    if (outFd < 0) return false;
    temp = name.data();

    bool ok;
    {
        Fd out(outFd);
        ok = copyContents(in.fd, out.fd, st.st_size);
        ok = ok && fchmod(out.fd, st.st_mode & 07777) == 0;
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        ok = ok && futimens(out.fd, times) == 0;
        int closed = close(out.fd);
        out.fd = -1;
        ok = ok && closed == 0;
    }
    bool tempLeft = true;
    if (ok) {
        if (replace) {
            ok = rename(temp.c_str(), destination.c_str()) == 0;
            tempLeft = !ok;
        } else if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0) {
            tempLeft = false;
        } else if (errno == EINVAL || errno == ENOSYS) {
            // File systems without the no-replace rename: a hard link fails when the name exists.
            ok = link(temp.c_str(), destination.c_str()) == 0;
        } else {
            ok = false;
        }
    }
    if (tempLeft) unlink(temp.c_str());
    return ok;
}

DirectoryCopy::Result DirectoryCopy::BackupFiles(const std::string& sourceDirectory,
                                                 const std::string& projectFolder, int32_t policy,
                                                 const std::function<bool()>& stopRequested,
                                                 const std::function<void(int32_t)>& progress) {
    Result result;
    if (sourceDirectory.empty() || sourceDirectory == "/") return result;
    const std::string source = withSlash(sourceDirectory);
    const std::string folder = withSlash(projectFolder);
    result.destinationRoot = folder + lastComponent(source) + "/";

    std::vector<std::string> list;
    struct stat st;
    if (stat(source.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ListFiles(list, source, "*.*", folder);
    const uint64_t n = list.size();
    int32_t lastPercent = -1;
    std::string lastDirectory;
    for (uint64_t i = 0; i < n; ++i) {
        const std::string& file = list[i];
        std::string destination = result.destinationRoot + file.substr(source.size());
        std::string directory = destination.substr(0, destination.rfind('/') + 1);
        if (directory != lastDirectory) {
            makeDirectories(directory);
            lastDirectory = std::move(directory);
        }

        bool copied = false;
        switch (policy) {
            case SkipExisting:
                copied = CopyFile(file, destination, false);
                break;
            case Overwrite:
                copied = CopyFile(file, destination, true);
                break;
            case OverwriteOlder: {
                struct stat dst, src;
                if (lstat(destination.c_str(), &dst) == 0 && S_ISREG(dst.st_mode)) {
                    if (stat(file.c_str(), &src) == 0 && IsNewer(src.st_mtim.tv_sec, dst.st_mtim.tv_sec))
                        copied = CopyFile(file, destination, true);
                } else {
                    copied = CopyFile(file, destination, true);
                }
                break;
            }
            default:
                break;
        }
        if (copied) ++result.count;

        if (stopRequested && stopRequested()) break;
        int32_t percent = RoundedPercent(i + 1, n);
        if (percent != lastPercent) {
            if (progress) progress(percent);
            lastPercent = percent;
        }
    }
    return result;
}

}  // namespace tharvel
