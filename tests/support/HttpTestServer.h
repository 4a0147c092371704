#pragma once
#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
}

namespace tharvel::test {

// One request as the server received it.
struct RecordedRequest {
    std::string method;
    std::string path;                            // without the query
    std::string target;                          // path and query exactly as sent
    std::map<std::string, std::string> headers;  // names in lower case

    std::string query() const;
    std::string header(const std::string& lowerCaseName) const;
};

// A real HTTP (or HTTPS, with a certificate made for the test run) server on
// 127.0.0.1 that answers from a table of paths and records every request.
class HttpTestServer {
public:
    enum class Scheme { Http, Https };

    explicit HttpTestServer(Scheme scheme = Scheme::Http);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    // Answers GET path with status and body; unknown paths get 404.
    void respond(const std::string& path, int status, std::string body,
                 std::vector<std::pair<std::string, std::string>> headers = {});

    // While held, every request is recorded at once but answered only once the
    // replies are released again: a server that does not answer (yet).
    void holdReplies(bool hold);

    // "http://127.0.0.1:PORT" or "https://127.0.0.1:PORT"
    std::string baseAddress() const;
    std::vector<RecordedRequest> requests() const;

    // The self-signed certificate the HTTPS servers use, to trust as CA.
    static std::string caFile();

private:
    struct Reply {
        int status;
        std::string body;
        std::vector<std::pair<std::string, std::string>> headers;
    };

    Scheme scheme_;
    std::unique_ptr<httplib::Server> server_;
    int port_ = 0;
    std::thread thread_;
    std::atomic<bool> listenEnded_{false};
    mutable std::mutex mutex_;
    std::condition_variable released_;
    bool holding_ = false;
    std::map<std::string, Reply> replies_;
    std::vector<RecordedRequest> requests_;
};

}  // namespace tharvel::test
