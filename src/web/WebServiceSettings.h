#pragma once
#include <string>

namespace tharvel {

// The texts shared by the About and contact windows. All but latestVersion are fixed
// and assigned at every activation of the main window; latestVersion is what the
// About window last fetched.
struct WebServiceSettings {
    std::string appName;
    std::string appCode;
    std::string appVersion;
    std::string updaterUrl;
    std::string productInfoUrl;
    std::string versionUrl;
    std::string contactInfoUrl;
    std::string latestVersion;
};

}  // namespace tharvel
