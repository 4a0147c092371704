#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "backup/UnattendedBackup.h"
#include "projects/ProjectFile.h"
#include "projects/ProjectTable.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using tharvel::ProjectColumn;
using tharvel::ProjectFile;
using tharvel::ProjectTable;
using tharvel::UnattendedBackup;
using tharvel::test::readFile;
using tharvel::test::TempDir;
using tharvel::test::writeFile;

namespace {

struct Project {
    std::string name, files, backups, database;
};

void writeProjects(const fs::path& home, const std::vector<Project>& projects) {
    ProjectTable table;
    for (const auto& p : projects) {
        table.append();
        table.setValue(ProjectColumn::Project, p.name);
        table.setValue(ProjectColumn::FilesDirectory, p.files);
        table.setValue(ProjectColumn::BackupDirectory, p.backups);
        table.setValue(ProjectColumn::SkipFiles, 1);
        if (!p.database.empty()) {
            // Nothing listens on port 1: a real database step fails to connect.
            table.setValue(ProjectColumn::MySQLServer, "127.0.0.1");
            table.setValue(ProjectColumn::MySQLPort, "1");
            table.setValue(ProjectColumn::MySQLDataBase, p.database);
        }
        table.post();
    }
    fs::create_directories(home);
    ASSERT_TRUE(ProjectFile::save(home / ProjectFile::kFileName, table));
}

struct Process {
    pid_t pid = -1;
    FILE* out = nullptr;
};

// Starts `tharvel -BACKUP` with THARVEL_HOME set; its standard output is piped back,
// its standard error goes to `errors` when given.
Process start(const fs::path& home, const char* word = "-BACKUP", const fs::path& errors = {}) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        if (!errors.empty()) {
            int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, STDERR_FILENO);
        }
        close(fds[0]);
        close(fds[1]);
        setenv("THARVEL_HOME", home.c_str(), 1);
        execl(THARVEL_BINARY, THARVEL_BINARY, word, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    return {pid, fdopen(fds[0], "r")};
}

std::string readLine(FILE* in) {
    std::string line;
    for (int c; (c = fgetc(in)) != EOF && c != '\n';) line += static_cast<char>(c);
    return line;
}

int finish(Process& p, std::string* rest = nullptr) {
    std::string all;
    for (int c; (c = fgetc(p.out)) != EOF;) all += static_cast<char>(c);
    fclose(p.out);
    if (rest) *rest = all;
    int status = 0;
    waitpid(p.pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

TEST(UnattendedBackup, SwitchIsTheFirstArgumentInAnyCase) {
    struct Case {
        std::vector<const char*> args;
        bool backup;
    };
    const Case cases[] = {
        {{"tharvel", "-BACKUP"}, true},
        {{"tharvel", "-backup"}, true},
        {{"tharvel", "-BaCkUp", "x"}, true},
        {{"tharvel", "/BACKUP"}, false},
        {{"tharvel", "BACKUP"}, false},
        {{"tharvel", "x", "-BACKUP"}, false},
        {{"tharvel"}, false},
    };
    for (const Case& c : cases) {
        auto args = c.args;
        EXPECT_EQ(
            UnattendedBackup::isBackupSwitch(static_cast<int>(args.size()), const_cast<char**>(args.data())),
            c.backup)
            << (args.size() > 1 ? args[1] : "");
    }
}

TEST(UnattendedBackup, ProcessExitCodesLogAndCopy) {
    TempDir tmp;
    writeFile(tmp / "site" / "index.html", "<h1>shop</h1>");
    writeFile(tmp / "site" / "img" / "a.png", "png");
    const std::string site = (tmp / "site").string();
    const std::string backups = (tmp / "backups").string();

    // Every project succeeds: 0, the copy and the log on disk, LastBackup saved.
    {
        fs::path home = tmp / "ok";
        writeProjects(home, {{"Web shop", site, backups, ""}});
        Process p = start(home, "-backup");
        std::string out;
        EXPECT_EQ(finish(p, &out), 0);
        EXPECT_EQ(readFile(tmp / "backups" / "Web shop" / "site" / "img" / "a.png"), "png");
        std::string log = readFile(home / "TharvelLog.txt");
        EXPECT_NE(log.find("  Backup of project 'Web shop' finished successfully\r\n"), std::string::npos);
        EXPECT_NE(out.find("  2 files copied\n"), std::string::npos);
        // What went to standard output is the log, line for line.
        std::string lf;
        for (char c : log)
            if (c != '\r') lf += c;
        EXPECT_EQ(out, lf);
        ProjectTable table;
        ProjectFile::load(home / ProjectFile::kFileName, table);
        EXPECT_FALSE(table.value(ProjectColumn::LastBackup).toText().empty());
    }
    // One project fails, the next still runs: 1.
    {
        fs::path home = tmp / "fail";
        writeProjects(home, {{"db", "", backups, "shop"}, {"files", site, (tmp / "b2").string(), ""}});
        Process p = start(home);
        EXPECT_EQ(finish(p), 1);
        EXPECT_TRUE(fs::exists(tmp / "b2" / "files" / "site" / "index.html"));
        std::string log = readFile(home / "TharvelLog.txt");
        EXPECT_NE(log.find("  Backup of project 'db' finished with errors!\r\n"), std::string::npos);
        ProjectTable table;
        ProjectFile::load(home / ProjectFile::kFileName, table);
        EXPECT_TRUE(table.row(0)[static_cast<int>(ProjectColumn::LastBackup)].isEmpty());
        EXPECT_FALSE(table.row(1)[static_cast<int>(ProjectColumn::LastBackup)].isEmpty());
    }
    // No projects at all is not a success.
    {
        fs::path home = tmp / "none";
        fs::create_directories(home);
        Process p = start(home);
        EXPECT_EQ(finish(p), 1);
    }
}

TEST(UnattendedBackup, InterruptCancelsTheRun) {
    TempDir tmp;
    // Enough work that the run is still copying when the signal comes.
    for (int d = 0; d < 30; ++d)
        for (int f = 0; f < 100; ++f)
            writeFile(tmp / "big" / ("d" + std::to_string(d)) / ("f" + std::to_string(f)),
                      std::string(512, 'x'));
    fs::path home = tmp / "home";
    const std::string backups = (tmp / "backups").string();
    writeProjects(home, {{"one", (tmp / "big").string(), backups, ""},
                         {"two", (tmp / "big").string(), backups, ""},
                         {"three", (tmp / "big").string(), backups, ""}});
    Process p = start(home);
    ASSERT_EQ(readLine(p.out), "");
    EXPECT_NE(readLine(p.out).find("Starting backup project 'one'"), std::string::npos);
    EXPECT_NE(readLine(p.out).find("Backing up '"), std::string::npos);
    kill(p.pid, SIGINT);
    std::string rest;
    EXPECT_EQ(finish(p, &rest), 2);
    std::string log = readFile(home / "TharvelLog.txt");
    ASSERT_GE(log.size(), 25u);
    EXPECT_EQ(log.substr(log.size() - 25), "Backup canceled by user\r\n");
    EXPECT_EQ(log.find("Starting backup project 'two'"), std::string::npos);
    ProjectTable table;
    ProjectFile::load(home / ProjectFile::kFileName, table);
    EXPECT_TRUE(table.row(0)[static_cast<int>(ProjectColumn::LastBackup)].isEmpty());
}

// A log that cannot take its lines (a full disk): the backup still runs to its
// end, and the run says so on standard error, naming the log, and exits 1.
TEST(UnattendedBackup, LogOnAFullDiskIsAnErrorAndTheFilesAreStillCopied) {
    TempDir tmp;
    writeFile(tmp / "site" / "index.html", "<h1>shop</h1>");
    fs::path home = tmp / "home";
    writeProjects(home, {{"Web shop", (tmp / "site").string(), (tmp / "backups").string(), ""}});
    fs::create_symlink("/dev/full", home / "TharvelLog.txt");
    Process p = start(home, "-BACKUP", tmp / "stderr.txt");
    std::string out;
    EXPECT_EQ(finish(p, &out), 1);
    const std::string errors = readFile(tmp / "stderr.txt");
    EXPECT_NE(errors.find("Error: Cannot write the log file '" + (home / "TharvelLog.txt").string() + "'"),
              std::string::npos)
        << errors;
    EXPECT_EQ(errors.find("Error:", errors.find("Error:") + 1), std::string::npos) << "said once: " << errors;
    EXPECT_EQ(readFile(tmp / "backups" / "Web shop" / "site" / "index.html"), "<h1>shop</h1>");
    EXPECT_NE(out.find("Backup of project 'Web shop' finished successfully"), std::string::npos);
}

// A project file that nobody may write stays as it is, byte for byte, and the run
// says that it was not updated.
TEST(UnattendedBackup, ReadOnlyProjectFileIsKeptWithAWarning) {
    TempDir tmp;
    writeFile(tmp / "site" / "a", "a");
    fs::path home = tmp / "home";
    writeProjects(home, {{"P", (tmp / "site").string(), (tmp / "backups").string(), ""}});
    const fs::path file = home / ProjectFile::kFileName;
    const std::string before = readFile(file);
    ASSERT_EQ(chmod(file.c_str(), 0444), 0);
    Process p = start(home, "-BACKUP", tmp / "stderr.txt");
    EXPECT_EQ(finish(p), 0);  // the backup itself succeeded
    EXPECT_EQ(readFile(file), before);
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0444u);
    EXPECT_NE(readFile(tmp / "stderr.txt")
                  .find("Warning: the project file '" + file.string() +
                        "' could not be written: it was not updated"),
              std::string::npos);
    EXPECT_EQ(readFile(tmp / "backups" / "P" / "site" / "a"), "a");
}

// The first stop signal cancels; a second, of the other kind (what `timeout` and
// service managers send after an interrupt), ends the process at once even while
// the job waits on a server that never answers.
TEST(UnattendedBackup, InterruptThenTerminateEndsTheProcess) {
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer holds signals back until its own delivery points, which can be
    // after the job's connection timeout: the plain and address-sanitizer builds test this.
    GTEST_SKIP() << "signal timing under ThreadSanitizer";
#endif
    for (int second : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(second);
        int listener = socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_GE(listener, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        socklen_t length = sizeof address;
        ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
        ASSERT_EQ(listen(listener, 4), 0);  // connections wait in the backlog: no greeting ever comes

        TempDir tmp;
        fs::path home = tmp / "home";
        writeProjects(home, {{"P", "", (tmp / "backups").string(), "shop"}});
        {
            ProjectTable table;
            ProjectFile::load(home / ProjectFile::kFileName, table);
            table.edit();
            table.setValue(ProjectColumn::MySQLPort, std::to_string(ntohs(address.sin_port)));
            table.post();
            ASSERT_TRUE(ProjectFile::save(home / ProjectFile::kFileName, table));
        }
        Process p = start(home);
        ASSERT_EQ(readLine(p.out), "");
        EXPECT_NE(readLine(p.out).find("Starting backup project 'P'"), std::string::npos);
        EXPECT_NE(readLine(p.out).find("Backing up MySQL database 'shop'"), std::string::npos);
        // The job announces the step before it connects: wait for its connection, so
        // the stop finds it waiting on the server rather than before the step.
        pollfd incoming{listener, POLLIN, 0};
        ASSERT_EQ(poll(&incoming, 1, 10000), 1);
        int connection = accept(listener, nullptr, nullptr);
        ASSERT_GE(connection, 0);
        kill(p.pid, SIGINT);
        usleep(100 * 1000);
        kill(p.pid, second);
        // Ended by the signal itself, not by the run giving up on the server.
        std::string rest;
        EXPECT_EQ(finish(p, &rest), 128 + second) << rest;
        close(connection);
        close(listener);
    }
}
