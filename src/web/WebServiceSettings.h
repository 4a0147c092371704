#pragma once
#include <string>

namespace tharvel {

// The texts shared by the About and contact windows. All but LatestVersion are fixed
// and assigned at every activation of the main window; LatestVersion is what the
// About window last fetched.
struct WebServiceSettings {
    std::string AppName;
    std::string AppCode;
    std::string AppVersion;
    std::string UpdaterURL;
    std::string ProductInfoURL;
    std::string VersionURL;
    std::string ContactInfoURL;
    std::string LatestVersion;
};

}  // namespace tharvel
