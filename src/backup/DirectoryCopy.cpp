#include "backup/DirectoryCopy.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string_view>
#include <thread>
#include <tuple>

#include "backup/FileCopyPool.h"
#include "backup/PendingCopy.h"
#include "backup/TreeWalk.h"
#include "platform/Rounding.h"

namespace tharvel {
namespace {

std::string withSlash(std::string directory) {
    if (directory.empty() || directory.back() != '/') directory += '/';
    return directory;
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

// Workers and queue bound of a copy whose options leave them open.
unsigned defaultWorkers() {
    unsigned cores = std::thread::hardware_concurrency();
    return std::clamp(cores * 2, 1u, 4u);
}

size_t defaultQueue() {
    // Every queued copy may hold an open file until it is committed: keep well
    // inside the open-file limit.
    size_t bound = 256;
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        bound = std::min<size_t>(bound, static_cast<size_t>(limit.rlim_cur) / 4);
    return std::max<size_t>(bound, 4);
}

// One file's copy by policy, on a worker; nothing to commit when the policy skips it.
PendingCopy writeByPolicy(int32_t policy, const FileCopyPool::Task& task, const std::atomic<bool>& halted) {
    switch (policy) {
        case DirectoryCopy::SkipExisting:
            return PendingCopy::Write(task.source, task.destination, false, true, &halted);
        case DirectoryCopy::Overwrite:
            return PendingCopy::Write(task.source, task.destination, true, true, &halted);
        case DirectoryCopy::OverwriteOlder: {
            struct stat dst, src;
            if (lstat(task.destination.c_str(), &dst) == 0 && S_ISREG(dst.st_mode)) {
                if (stat(task.source.c_str(), &src) == 0 &&
                    DirectoryCopy::IsNewer(src.st_mtim.tv_sec, dst.st_mtim.tv_sec))
                    return PendingCopy::Write(task.source, task.destination, true, true, &halted);
                return {};
            }
            return PendingCopy::Write(task.source, task.destination, true, true, &halted);
        }
        default:
            return {};
    }
}

}  // namespace

void DirectoryCopy::ListFiles(std::vector<std::string>& list, std::string directory, const std::string& mask,
                              const std::string& excluded) {
    TreeWalk walk(withSlash(std::move(directory)), mask, excluded);
    for (std::string file; walk.Next(file);) list.push_back(std::move(file));
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

bool DirectoryCopy::CopyFile(const std::string& source, const std::string& destination, bool replace,
                             bool unnamedTemporary) {
    return PendingCopy::Write(source, destination, replace, unnamedTemporary).Commit(destination);
}

DirectoryCopy::Result DirectoryCopy::BackupFiles(const std::string& sourceDirectory,
                                                 const std::string& projectFolder, int32_t policy,
                                                 const std::function<bool()>& stopRequested,
                                                 const std::function<void(int32_t)>& progress,
                                                 const CopyOptions& options) {
    Result result;
    if (sourceDirectory.empty() || sourceDirectory == "/") return result;
    const std::string source = withSlash(sourceDirectory);
    const std::string folder = withSlash(projectFolder);
    result.destinationRoot = folder + lastComponent(source) + "/";

    struct stat st;
    if (stat(source.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return result;
    // A first walk only counts, for the percentages; the second feeds the copy, so
    // the list of the tree is never held.
    uint64_t n = 0;
    {
        TreeWalk count(source, "*.*", folder);
        for (std::string file; count.Next(file);) ++n;
    }
    if (n == 0) return result;
    // The first file's directory would make the project folder anyway; made before the
    // walk, it is left out of the walk even when it is new and inside the source.
    makeDirectories(folder);

    int32_t lastPercent = -1;
    uint64_t done = 0;  // files taken back in walk order
    bool stopped = false;
    auto advance = [&] {
        ++done;
        int32_t percent = roundedPercent(std::min(done, n), n);
        if (percent != lastPercent) {
            if (progress) progress(percent);
            lastPercent = percent;
        }
    };
    {
        const unsigned workers = options.workers ? options.workers : defaultWorkers();
        const size_t queue = options.queue ? options.queue : defaultQueue();
        FileCopyPool pool(static_cast<unsigned>(std::min<uint64_t>(workers, n)), queue,
                          [policy](const FileCopyPool::Task& task, const std::atomic<bool>& halted) {
                              return writeByPolicy(policy, task, halted);
                          });
        TreeWalk walk(source, "*.*", folder);
        bool walked = false;
        std::string lastDirectory;
        for (;;) {
            // Refilled in batches, so that the workers are woken once for many files.
            if (!walked && (pool.Free() >= pool.Capacity() / 4 || pool.Empty())) {
                for (std::string file; pool.Free() > 0;) {
                    if (!walk.Next(file)) {
                        walked = true;
                        break;
                    }
                    std::string destination = result.destinationRoot + file.substr(source.size());
                    std::string_view directory(destination.data(), destination.rfind('/') + 1);
                    // Made whatever the policy, before the copy that needs it.
                    if (directory != lastDirectory) {
                        lastDirectory = directory;
                        makeDirectories(lastDirectory);
                    }
                    pool.Push({std::move(file), std::move(destination)});
                }
                pool.Publish();
            }
            if (pool.Empty()) break;
            PendingCopy* copy = nullptr;
            FileCopyPool::Task& task = pool.Front(copy);
            // Named in walk order, so a stop keeps exactly the files before it.
            if (copy->Ready() && copy->Commit(task.destination)) ++result.count;
            pool.Pop();
            if (stopRequested && stopRequested()) {
                stopped = true;
                break;
            }
            advance();
        }
    }
    // Files counted but gone by the second walk end as failed copies would.
    while (!stopped && done < n) {
        if (stopRequested && stopRequested()) break;
        advance();
    }
    return result;
}

}  // namespace tharvel
