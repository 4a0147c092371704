#include "support/HttpTestServer.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "support/TempDir.h"

namespace tharvel::test {
namespace {

struct Certificate {
    TempDir dir{"tharvel-cert"};
    std::string cert = (dir / "cert.pem").string();
    std::string key = (dir / "key.pem").string();

    Certificate() {
        std::string command =
            "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
            " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
            key + "' -out '" + cert + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("openssl could not make a certificate");
    }
};

const Certificate& certificate() {
    static Certificate shared;
    return shared;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

std::string RecordedRequest::query() const {
    auto mark = target.find('?');
    return mark == std::string::npos ? std::string() : target.substr(mark + 1);
}

std::string RecordedRequest::header(const std::string& lowerCaseName) const {
    auto found = headers.find(lowerCaseName);
    return found == headers.end() ? std::string() : found->second;
}

HttpTestServer::HttpTestServer(Scheme scheme) : scheme_(scheme) {
    if (scheme == Scheme::Https)
        server_ = std::make_unique<httplib::SSLServer>(certificate().cert.c_str(), certificate().key.c_str());
    else
        server_ = std::make_unique<httplib::Server>();
    if (!server_->is_valid()) throw std::runtime_error("test HTTP server is not valid");
    server_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        RecordedRequest record{request.method, request.path, request.target, {}};
        for (const auto& [name, value] : request.headers) record.headers[lower(name)] = value;
        std::unique_lock lock(mutex_);
        requests_.push_back(record);
        released_.wait(lock, [this] { return !holding_; });
        auto found = replies_.find(request.path);
        if (found == replies_.end()) {
            response.status = 404;
            response.set_content("not found", "text/plain");
            return;
        }
        response.status = found->second.status;
        for (const auto& [name, value] : found->second.headers) response.set_header(name, value);
        response.set_content(found->second.body, "text/plain");
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("test HTTP server could not bind");
    thread_ = std::thread([this] {
        server_->listen_after_bind();
        listenEnded_ = true;
    });
    // stop() only reaches a server that is already listening.
    while (!server_->is_running() && !listenEnded_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (listenEnded_) {
        thread_.join();
        throw std::runtime_error("test HTTP server could not listen");
    }
}

HttpTestServer::~HttpTestServer() {
    holdReplies(false);
    server_->stop();
    thread_.join();
}

void HttpTestServer::respond(const std::string& path, int status, std::string body,
                             std::vector<std::pair<std::string, std::string>> headers) {
    std::lock_guard lock(mutex_);
    replies_[path] = Reply{status, std::move(body), std::move(headers)};
}

void HttpTestServer::holdReplies(bool hold) {
    {
        std::lock_guard lock(mutex_);
        holding_ = hold;
    }
    released_.notify_all();
}

std::string HttpTestServer::baseAddress() const {
    return (scheme_ == Scheme::Https ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_);
}

std::vector<RecordedRequest> HttpTestServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::string HttpTestServer::caFile() {
    return certificate().cert;
}

}  // namespace tharvel::test
