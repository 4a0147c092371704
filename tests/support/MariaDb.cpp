#include "support/MariaDb.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "support/TempDir.h"

#ifndef THARVEL_SOURCE_DIR
#error "THARVEL_SOURCE_DIR must name the source tree"
#endif

namespace tharvel::test {
namespace {

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string script() {
    return std::string(THARVEL_SOURCE_DIR) + "/scripts/test-mariadb.sh";
}

int readPort(const std::filesystem::path& dir) {
    std::ifstream in(dir / "port");
    int port = 0;
    in >> port;
    return port;
}

std::filesystem::path newServerDir() {
    static std::atomic<int> counter{0};
    return std::filesystem::temp_directory_path() /
           ("tharvel-mariadb-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
}

}  // namespace

MariaDb::MariaDb(const std::string& timeZone, const std::string& serverArgs)
    : dir_(newServerDir()), owned_(true) {
    std::string command = "TZ=" + shellQuote(timeZone) + " THARVEL_MARIADB_ARGS=" + shellQuote(serverArgs) +
                          " bash " + shellQuote(script()) + " start " + shellQuote(dir_.string());
    if (std::system(command.c_str()) != 0) throw std::runtime_error("cannot start MariaDB: " + command);
    port_ = readPort(dir_);
    if (port_ <= 0) throw std::runtime_error("MariaDB started without a port file in " + dir_.string());
}

MariaDb::MariaDb(Attached, std::filesystem::path dir) : dir_(std::move(dir)), port_(readPort(dir_)) {
    if (port_ <= 0) throw std::runtime_error("no MariaDB test server in " + dir_.string());
}

MariaDb::~MariaDb() {
    if (!owned_) return;
    std::string command = "bash " + shellQuote(script()) + " stop " + shellQuote(dir_.string());
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "stopping MariaDB failed\n");
}

MariaDb& MariaDb::shared() {
    static std::unique_ptr<MariaDb> server = [] {
        const char* dir = std::getenv("THARVEL_TEST_MARIADB_DIR");
        if (dir && *dir && std::filesystem::exists(std::filesystem::path(dir) / "port"))
            return std::unique_ptr<MariaDb>(new MariaDb(Attached{}, dir));
        return std::make_unique<MariaDb>();
    }();
    return *server;
}

std::string MariaDb::sql(const std::string& statements, const std::string& database) const {
    TempDir tmp("tharvel-sql");
    writeFile(tmp / "in.sql", statements);
    std::string command = "mariadb --no-defaults -uroot -N -B -S " + shellQuote((dir_ / "sock").string()) +
                          (database.empty() ? "" : " " + shellQuote(database)) + " < " +
                          shellQuote((tmp / "in.sql").string()) + " > " + shellQuote((tmp / "out").string()) +
                          " 2> " + shellQuote((tmp / "err").string());
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("SQL failed: " + readFile(tmp / "err") +
                                 "\nstatements: " + statements.substr(0, 2000));
    return readFile(tmp / "out");
}

void MariaDb::runScript(const std::filesystem::path& file, const std::string& database,
                        const std::string& clientOptions) const {
    TempDir tmp("tharvel-sql");
    std::string command = "mariadb --no-defaults " + clientOptions + " -uroot -S " +
                          shellQuote((dir_ / "sock").string()) + " " + shellQuote(database) + " < " +
                          shellQuote(file.string()) + " 2> " + shellQuote((tmp / "err").string());
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("script " + file.string() + " failed: " + readFile(tmp / "err"));
}

std::string MariaDb::freshDatabase(const std::string& stem) {
    static std::atomic<int> counter{0};
    std::string name = stem + "_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    sql("DROP DATABASE IF EXISTS `" + name + "`; CREATE DATABASE `" + name + "`;");
    return name;
}

void MariaDb::kill() {
    std::ifstream in(dir_ / "server.pid");
    pid_t pid = 0;
    in >> pid;
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        for (int i = 0; i < 100 && ::kill(pid, 0) == 0; ++i) usleep(50000);
    }
}

}  // namespace tharvel::test
