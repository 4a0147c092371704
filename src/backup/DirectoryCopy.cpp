#include "backup/DirectoryCopy.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <thread>
#include <tuple>

#include "backup/FileCopyPool.h"
#include "backup/PendingCopy.h"
#include "backup/TreeWalk.h"
#include "platform/Rounding.h"

namespace tharvel {
namespace {

std::filesystem::path withSlash(std::filesystem::path directory) {
    if (directory.empty() || directory.native().back() != '/') directory += "/";
    return directory;
}

// The folder name that a source directory gets inside the project folder.
std::string lastComponent(const std::filesystem::path& sourceDirectory) {
    std::string path = sourceDirectory.native();
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
            return PendingCopy::write(task.source, task.destination, false, true, &halted);
        case DirectoryCopy::Overwrite:
            return PendingCopy::write(task.source, task.destination, true, true, &halted);
        case DirectoryCopy::OverwriteOlder: {
            struct stat dst, src;
            if (lstat(task.destination.c_str(), &dst) == 0 && S_ISREG(dst.st_mode)) {
                if (stat(task.source.c_str(), &src) == 0 &&
                    DirectoryCopy::isNewer(src.st_mtim.tv_sec, dst.st_mtim.tv_sec))
                    return PendingCopy::write(task.source, task.destination, true, true, &halted);
                return {};
            }
            return PendingCopy::write(task.source, task.destination, true, true, &halted);
        }
        default:
            return {};
    }
}

}  // namespace

void DirectoryCopy::listFiles(std::vector<std::filesystem::path>& list, std::filesystem::path directory,
                              const std::string& mask, const std::filesystem::path& excluded) {
    TreeWalk walk(withSlash(std::move(directory)), mask, excluded);
    for (std::filesystem::path file; walk.next(file);) list.push_back(std::move(file));
}

bool DirectoryCopy::isNewer(int64_t sourceSeconds, int64_t destinationSeconds) {
    auto slot = [](int64_t seconds) {
        time_t t = static_cast<time_t>(seconds);
        struct tm local {};
        if (!localtime_r(&t, &local)) return std::make_tuple(0, 0, 0, 0, 0, 0);
        return std::make_tuple(local.tm_year, local.tm_mon, local.tm_mday, local.tm_hour, local.tm_min,
                               local.tm_sec / 2);
    };
    return slot(sourceSeconds) > slot(destinationSeconds);
}

bool DirectoryCopy::copyFile(const std::filesystem::path& source, const std::filesystem::path& destination,
                             bool replace, bool unnamedTemporary) {
    return PendingCopy::write(source, destination, replace, unnamedTemporary).commit(destination);
}

DirectoryCopy::Result DirectoryCopy::backupFiles(const std::filesystem::path& sourceDirectory,
                                                 const std::filesystem::path& projectFolder, int32_t policy,
                                                 const std::function<bool()>& stopRequested,
                                                 const std::function<void(int32_t)>& progress,
                                                 const CopyOptions& options) {
    Result result;
    if (sourceDirectory.empty() || sourceDirectory.native() == "/") return result;
    const std::filesystem::path source = withSlash(sourceDirectory);
    const std::filesystem::path folder = withSlash(projectFolder);
    result.destinationRoot = folder.native() + lastComponent(source) + "/";

    struct stat st;
    if (stat(source.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return result;
    // A first walk only counts, for the percentages; the second feeds the copy, so
    // the list of the tree is never held.
    uint64_t n = 0;
    {
        TreeWalk count(source, "*.*", folder);
        for (std::filesystem::path file; count.next(file);) ++n;
    }
    if (n == 0) return result;
    // The first file's directory would make the project folder anyway; made before the
    // walk, it is left out of the walk even when it is new and inside the source.
    // A folder that cannot be made is left for the copies to meet.
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);

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
        std::filesystem::path lastDirectory;
        for (;;) {
            // Refilled in batches, so that the workers are woken once for many files.
            if (!walked && (pool.free() >= pool.capacity() / 4 || pool.empty())) {
                for (std::filesystem::path file; pool.free() > 0;) {
                    if (!walk.next(file)) {
                        walked = true;
                        break;
                    }
                    std::filesystem::path destination =
                        result.destinationRoot / file.native().substr(source.native().size());
                    // Made whatever the policy, before the copy that needs it.
                    if (std::filesystem::path directory = destination.parent_path();
                        directory.native() != lastDirectory.native()) {
                        lastDirectory = std::move(directory);
                        std::filesystem::create_directories(lastDirectory, ignored);
                    }
                    pool.push({std::move(file), std::move(destination)});
                }
                pool.publish();
            }
            if (pool.empty()) break;
            PendingCopy* copy = nullptr;
            FileCopyPool::Task& task = pool.front(copy);
            // Named in walk order, so a stop keeps exactly the files before it.
            if (copy->ready() && copy->commit(task.destination)) ++result.count;
            pool.pop();
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
