#include "web/MakerService.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/ProgramVersion.h"
#include "platform/Text.h"
#include "web/HttpClient.h"

namespace tharvel {
namespace {

constexpr const char* kTimestampMark = "<timestamp>";
constexpr const char* kContactUser = "pelor";
constexpr const char* kContactPassword = "507381";

MakerService::TimeOfDay localTimeOfDay() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_hour, local.tm_min, local.tm_sec};
}

// The seconds of the time of day counted from a fixed day, as the maker's side expects.
std::string timestampFor(MakerService::TimeOfDay time) {
    long stamp = 31363200L + 3600L * time.hour + 60L * time.minute + time.second;
    return std::to_string(stamp);
}

// The reply as UTF-8: a byte-order mark dropped, bytes that are not UTF-8 read as Latin-1.
std::string replyText(std::string bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
    if (isValidUtf8(bytes)) return bytes;
    return latin1ToUtf8(bytes);
}

}  // namespace

MakerService::MakerService() : baseAddress_(kDefaultBaseAddress) {
    platform_.localTimeOfDay = localTimeOfDay;
    if (const char* base = std::getenv("THARVEL_WEB_BASE"); base && *base) setBaseAddress(base);
}

void MakerService::setBaseAddress(std::string baseAddress) {
    while (!baseAddress.empty() && baseAddress.back() == '/') baseAddress.pop_back();
    baseAddress_ = std::move(baseAddress);
}

std::string MakerService::baseHostName() const {
    std::string rest = baseAddress_;
    if (auto scheme = rest.find("://"); scheme != std::string::npos) rest.erase(0, scheme + 3);
    if (auto at = rest.find_first_of("/?#"); at != std::string::npos) rest.erase(at);
    if (auto at = rest.rfind('@'); at != std::string::npos) rest.erase(0, at + 1);
    if (rest.starts_with("[")) {
        auto close = rest.find(']');
        return rest.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    if (auto colon = rest.find(':'); colon != std::string::npos) rest.erase(colon);
    return rest;
}

void MakerService::assignSettings() {
    settings_.appName = "Tharvel";
    settings_.appCode = "THARVEL-LINUX";
    settings_.appVersion = ProgramVersion::text();
    settings_.updaterUrl = baseAddress_ + "/downloads/tharvel/TharvelUpdate.exe?ts=<timestamp>";
    settings_.productInfoUrl = baseAddress_ + "/downloads/tharvel/tharvel.txt?ts=<timestamp>";
    settings_.versionUrl = baseAddress_ + "/downloads/tharvel/version.txt?ts=<timestamp>";
    settings_.contactInfoUrl = baseAddress_ + "/downloads/tharvel/contactus.txt?ts=";
}

std::string MakerService::insertTimestamp(const std::string& url) {
    auto at = url.find(kTimestampMark);
    if (at == std::string::npos) return url;
    std::string result = url;
    result.replace(at, std::strlen(kTimestampMark), timestampFor(platform_.localTimeOfDay()));
    return result;
}

std::string MakerService::getText(const std::string& url) {
    return getText(url, "", "");
}

std::string MakerService::getText(const std::string& url, const std::string& userName,
                                  const std::string& password) {
    HttpClient client({.basicAuth = true,
                       .userName = userName,
                       .password = password,
                       .followRedirects = false,
                       .caFile = caFile_});
    return replyText(client.getBytes(insertTimestamp(url)));
}

std::string MakerService::urlEncode(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size() * 3);
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            (c != 0 && std::strchr("*@._-$!'()", c))) {
            encoded += static_cast<char>(c);
        } else if (c == ' ') {
            encoded += '+';
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 0x0F];
        }
    }
    return encoded;
}

std::string MakerService::sendToMaker(const std::string& type, const std::string& content,
                                      const std::string& email) {
    std::string url = baseAddress_ +
                      "/controlcenter/contact_quellan.php?application=" + urlEncode(settings_.appName) +
                      "&version=" + urlEncode(settings_.appVersion) + "&type=" + urlEncode(type) +
                      "&content=" + urlEncode(content) + "&email=" + urlEncode(email) +
                      "&appcode=" + urlEncode(settings_.appCode);
    return getText(url, kContactUser, kContactPassword);
}

}  // namespace tharvel
