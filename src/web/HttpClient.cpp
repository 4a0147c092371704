#include "web/HttpClient.h"

#include <curl/curl.h>

#include <exception>
#include <mutex>

#include "web/WebError.h"

namespace tharvel {
namespace {

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
    CURL* curl;
    const std::function<void(std::string_view)>* sink;
    std::exception_ptr error;
    std::string statusLine;
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    long status = 0;
    curl_easy_getinfo(transfer->curl, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) return size * count;  // an error page is not the body asked for
    try {
        (*transfer->sink)(std::string_view(data, size * count));
    } catch (...) {
        transfer->error = std::current_exception();
        return 0;  // aborts the transfer
    }
    return size * count;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    std::string_view line(data, size * count);
    if (line.starts_with("HTTP/")) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
        transfer->statusLine = line;  // the last one wins when redirects are followed
    }
    return size * count;
}

// "HTTP/1.1 404 Not Found" -> "404 Not Found"
std::string statusText(const std::string& statusLine, long status) {
    auto blank = statusLine.find(' ');
    if (blank == std::string::npos || blank + 1 >= statusLine.size()) return std::to_string(status);
    return statusLine.substr(blank + 1);
}

void check(CURLcode code) {
    if (code != CURLE_OK) throw WebError(curl_easy_strerror(code));
}

}  // namespace

HttpClient::HttpClient(Options options) : options_(std::move(options)) {
    globalInit();
    curl_ = curl_easy_init();
    if (!curl_) throw WebError("Could not create the HTTP client");
}

HttpClient::~HttpClient() {
    curl_easy_cleanup(static_cast<CURL*>(curl_));
}

void HttpClient::get(const std::string& url, const std::function<void(std::string_view)>& sink) {
    CURL* curl = static_cast<CURL*>(curl_);
    curl_easy_reset(curl);
    Transfer transfer{curl, &sink, nullptr, {}};
    char errorBuffer[CURL_ERROR_SIZE] = {};

    check(curl_easy_setopt(curl, CURLOPT_URL, url.c_str()));
    check(curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https"));
    check(curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L));
    check(curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer));
    check(curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody));
    check(curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer));
    check(curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader));
    check(curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer));
    // The window thread waits for the answer: give up on a dead server in time.
    check(curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 20L));
    check(curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L));
    check(curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L));
    check(curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L));
    check(curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L));
    if (!options_.caFile.empty()) check(curl_easy_setopt(curl, CURLOPT_CAINFO, options_.caFile.c_str()));
    if (options_.basicAuth) {
        check(curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC));
        check(curl_easy_setopt(curl, CURLOPT_USERNAME, options_.userName.c_str()));
        check(curl_easy_setopt(curl, CURLOPT_PASSWORD, options_.password.c_str()));
    }
    if (options_.followRedirects) {
        check(curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L));
        check(curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L));
        // Never let a redirect downgrade to plain http.
        check(curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https"));
    }

    CURLcode code = curl_easy_perform(curl);
    if (transfer.error) std::rethrow_exception(transfer.error);
    if (code != CURLE_OK) throw WebError(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code));
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299)
        throw WebError("HTTP error " + statusText(transfer.statusLine, status), static_cast<int>(status));
}

std::string HttpClient::getBytes(const std::string& url) {
    std::string body;
    get(url, [&body](std::string_view piece) { body.append(piece); });
    return body;
}

}  // namespace tharvel
