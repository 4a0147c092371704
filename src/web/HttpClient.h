#pragma once
#include <functional>
#include <string>
#include <string_view>

namespace tharvel {

// One blocking HTTP(S) client for one request at a time, over libcurl. Certificates
// are always verified. An answer outside 2xx is an error carrying its status code.
class HttpClient {
public:
    struct Options {
        bool basicAuth = false;  // send basic authentication, also with an empty pair
        std::string userName;
        std::string password;
        bool followRedirects = false;  // followed only to https addresses
        std::string caFile;            // trust these certificates instead of the system's
    };

    explicit HttpClient(Options options);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // GETs url and hands the body to sink piece by piece; throws WebError.
    void get(const std::string& url, const std::function<void(std::string_view)>& sink);

    // GETs url and returns the body bytes.
    std::string getBytes(const std::string& url);

private:
    Options options_;
    void* curl_;
};

}  // namespace tharvel
