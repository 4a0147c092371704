#pragma once
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "web/WebServiceSettings.h"

namespace tharvel {

// Everything the program does on the internet: the connectivity check, the texts
// fetched from the maker's web service, messages to the maker and the self-update.
// Every call blocks the calling thread.
class GeneralApplicationToolkitUnit {
public:
    struct TimeOfDay {
        int hour = 0;
        int minute = 0;
        int second = 0;
    };

    // The platform underneath, replaceable for tests.
    struct Platform {
        // True when the system has no network to speak of.
        std::function<bool()> systemOffline;
        // An ICMP socket (file descriptor) and whether it is a raw one; -1 when ICMP
        // is not allowed.
        std::function<std::pair<int, bool>()> openIcmpSocket;
        std::function<TimeOfDay()> localTimeOfDay;
        // Starts the program as a process of its own that outlives this one.
        std::function<void(const std::filesystem::path&)> startDetached;
        // Asks the application to end once the current event is handled.
        std::function<void()> requestQuit;
    };

    static constexpr const char* kDefaultBaseAddress = "https://www.quellan.com";
    static constexpr const char* kMakerSiteAddress = "https://www.quellan.com";
    static constexpr const char* kUpdaterFileName = "TharvelUpdate.exe";

    // Reads THARVEL_WEB_BASE (the base address) and THARVEL_TEST_HOSTS (the hosts
    // of the connectivity check, comma-separated); the fixed values otherwise.
    GeneralApplicationToolkitUnit();

    WebServiceSettings& settings() { return settings_; }
    const WebServiceSettings& settings() const { return settings_; }
    Platform& platform() { return platform_; }

    const std::string& baseAddress() const { return baseAddress_; }
    void setBaseAddress(std::string baseAddress);
    // The host name of the base address, as shown when it cannot be reached.
    std::string baseHostName() const;
    const std::vector<std::string>& testHosts() const { return testHosts_; }
    void setTestHosts(std::vector<std::string> hosts) { testHosts_ = std::move(hosts); }
    // Certificates to trust instead of the system's (tests use a private one).
    void setCaFile(std::string caFile) { caFile_ = std::move(caFile); }
    // Where the updater is downloaded to; the executable's directory by default.
    const std::filesystem::path& executableDirectory() const { return executableDirectory_; }
    void setExecutableDirectory(std::filesystem::path dir) { executableDirectory_ = std::move(dir); }

    // Activation work of the main window, in this order.
    void RemoveStaleUpdater();
    void AssignSettings();

    bool IsInternetAvailable();
    bool PingHost(const std::string& host);
    static std::array<std::uint8_t, 4> ResolveHostAddress(const std::string& host);
    std::string InsertTimestamp(const std::string& url);
    static std::string TimestampFor(TimeOfDay time);
    // The reply body as UTF-8 text; throws WebError.
    std::string WebGetText(const std::string& url, const std::string& userName, const std::string& password);
    static std::string UrlEncode(const std::string& text);

    // The contact request; returns the maker's reply. Throws WebError.
    std::string SendToMaker(const std::string& type, const std::string& content, const std::string& email);

    // Downloads the updater next to the executable, starts it and asks the program
    // to end. A 404 is reported to the maker, other error statuses are dropped; any
    // other failure throws.
    void DownloadAndRunUpdater(const std::string& url);

private:
    WebServiceSettings settings_;
    Platform platform_;
    std::string baseAddress_;
    std::vector<std::string> testHosts_;
    std::string caFile_;
    std::filesystem::path executableDirectory_;
};

}  // namespace tharvel
