#pragma once
#include <functional>
#include <string>

#include "web/WebServiceSettings.h"

namespace tharvel {

// The maker's web service: the texts the About and contact windows fetch and the
// messages sent to the maker. Every call blocks the calling thread.
class MakerService {
public:
    struct TimeOfDay {
        int hour = 0;
        int minute = 0;
        int second = 0;
    };

    // The platform underneath, replaceable for tests.
    struct Platform {
        std::function<TimeOfDay()> localTimeOfDay;
    };

    static constexpr const char* kDefaultBaseAddress = "https://www.quellan.com";
    static constexpr const char* kMakerSiteAddress = "https://www.quellan.com";

    // Reads THARVEL_WEB_BASE (the base address); the fixed address otherwise.
    MakerService();

    WebServiceSettings& settings() { return settings_; }
    Platform& platform() { return platform_; }

    const std::string& baseAddress() const { return baseAddress_; }
    void setBaseAddress(std::string baseAddress);
    // The host name of the base address, as shown when it cannot be reached.
    std::string baseHostName() const;
    // Certificates to trust instead of the system's (tests use a private one).
    const std::string& caFile() const { return caFile_; }
    void setCaFile(std::string caFile) { caFile_ = std::move(caFile); }

    // Assigns the fixed settings at every activation of the main window; the latest
    // version is kept.
    void assignSettings();

    // The url with its first "<timestamp>" replaced by the stamp of the time of day.
    std::string insertTimestamp(const std::string& url);
    // The reply body as UTF-8 text, asked for with the empty login; throws WebError.
    std::string getText(const std::string& url);
    static std::string urlEncode(const std::string& text);

    // The contact request; returns the maker's reply. Throws WebError.
    std::string sendToMaker(const std::string& type, const std::string& content, const std::string& email);

private:
    std::string getText(const std::string& url, const std::string& userName, const std::string& password);

    WebServiceSettings settings_;
    Platform platform_;
    std::string baseAddress_;
    std::string caFile_;
};

}  // namespace tharvel
