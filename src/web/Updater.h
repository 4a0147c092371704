#pragma once
#include <filesystem>
#include <functional>
#include <string>

namespace tharvel {

class MakerService;

// The self-update: the updater program published by the maker, downloaded next to
// the executable and started on its own. Every call blocks the calling thread.
class Updater {
public:
    // The platform underneath, replaceable for tests.
    struct Platform {
        // Starts the program as a process of its own that outlives this one.
        std::function<void(const std::filesystem::path&)> startDetached;
        // Asks the application to end once the current event is handled.
        std::function<void()> requestQuit;
    };

    static constexpr const char* kUpdaterFileName = "TharvelUpdate.exe";

    // The maker's service takes the report of a missing updater.
    explicit Updater(MakerService& maker);

    Platform& platform() { return platform_; }

    // Where the updater is downloaded to; the executable's directory by default.
    void setExecutableDirectory(std::filesystem::path dir) { executableDirectory_ = std::move(dir); }

    // Deletes an updater left next to the executable by an earlier update.
    void removeStale();

    // Downloads the updater next to the executable, starts it and asks the program
    // to end. A 404 is reported to the maker, other error statuses are dropped; any
    // other failure throws.
    void downloadAndRun(const std::string& url);

private:
    MakerService& maker_;
    Platform platform_;
    std::filesystem::path executableDirectory_;
};

}  // namespace tharvel
