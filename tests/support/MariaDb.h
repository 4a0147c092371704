#pragma once
#include <filesystem>
#include <memory>
#include <string>

namespace tharvel::test {

// A real MariaDB server on 127.0.0.1 for the tests, with the user "tharvel" /
// "secret" holding every privilege. shared() attaches to the server that the test
// run started (THARVEL_TEST_MARIADB_DIR) or starts one for this process. A test
// that kills or reconfigures its server constructs a private one instead.
class MariaDb {
public:
    // Starts a private server; timeZone (e.g. "Europe/Berlin") is its system zone;
    // serverArgs are further server options, separated by spaces.
    explicit MariaDb(const std::string& timeZone = "Europe/Berlin", const std::string& serverArgs = "");
    ~MariaDb();
    MariaDb(const MariaDb&) = delete;
    MariaDb& operator=(const MariaDb&) = delete;

    static MariaDb& shared();

    std::string host() const { return "127.0.0.1"; }
    int port() const { return port_; }
    std::string user() const { return "tharvel"; }
    std::string password() const { return "secret"; }
    const std::filesystem::path& directory() const { return dir_; }

    // Runs statements with the standard client as root over the server's socket and
    // returns what it printed (tab-separated, no column names). Throws on failure.
    std::string sql(const std::string& statements, const std::string& database = "") const;
    // Feeds a script file to the standard client; throws with its error output on failure.
    // clientOptions go on the client's command line as they stand.
    void runScript(const std::filesystem::path& script, const std::string& database,
                   const std::string& clientOptions = "") const;

    // A database name no other test uses, created empty.
    std::string freshDatabase(const std::string& stem);

    // Ends the server at once (SIGKILL), as a crash would.
    void kill();

private:
    struct Attached {};
    MariaDb(Attached, std::filesystem::path dir);
    std::filesystem::path dir_;
    int port_ = 0;
    bool owned_ = false;
};

}  // namespace tharvel::test
