#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include "MainWindowDriver.h"
#include "UiTestSupport.h"

extern char** environ;

using namespace tharvel;
using namespace tharvel::test;

namespace {

// Runs the program with the given arguments and no display at all: no DISPLAY,
// no WAYLAND_DISPLAY, no QT_QPA_PLATFORM. Returns the exit status, or -1 when it
// did not exit normally (a GUI start without display aborts).
int runWithoutDisplay(const std::vector<std::string>& args, const std::filesystem::path& home) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        for (const char* drop : {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "THARVEL_HOME="})
            if (entry.rfind(drop, 0) == 0) entry.clear();
        if (!entry.empty()) env.push_back(entry);
    }
    env.push_back("THARVEL_HOME=" + home.string());
    std::vector<std::string> argv{THARVEL_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    auto pointers = [](std::vector<std::string>& v) {
        std::vector<char*> p;
        for (auto& s : v) p.push_back(s.data());
        p.push_back(nullptr);
        return p;
    };
    auto argp = pointers(argv);
    auto envp = pointers(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -2;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(StartUp, BackupSwitchRunsWithoutAnyDisplay) {
    const std::vector<std::string> backup[] = {{"-BACKUP"}, {"-backup"}, {"-BaCkUp", "ignored"}};
    for (const auto& args : backup) {
        SCOPED_TRACE(args[0]);
        TempDir home("tharvel-cli");
        std::filesystem::create_directories(home / "site");
        writeFile(home / "site" / "a.txt", "a");
        writeFile(home / "Tharvel.ini", "[Cli]\r\nFilesDirectory=" + (home / "site").string() +
                                            "\r\nBackupDirectory=" + (home / "out").string() + "\r\n");
        EXPECT_EQ(runWithoutDisplay(args, home.path()), 0);
        EXPECT_EQ(readFile(home / "out" / "Cli" / "site" / "a.txt"), "a");
    }
    // Anything else is the desktop program, which cannot start without a display.
    const std::vector<std::string> desktop[] = {{"/BACKUP"}, {"BACKUP"}, {"x", "-BACKUP"}};
    for (const auto& args : desktop) {
        SCOPED_TRACE(args[0]);
        TempDir home("tharvel-cli");
        std::filesystem::create_directories(home / "site");
        writeFile(home / "Tharvel.ini", "[Cli]\r\nFilesDirectory=" + (home / "site").string() +
                                            "\r\nBackupDirectory=" + (home / "out").string() + "\r\n");
        EXPECT_NE(runWithoutDisplay(args, home.path()), 0);
        EXPECT_FALSE(std::filesystem::exists(home / "out"));
    }
}

TEST(StartUp, ActivationWorkRunsAtStartAndAfterEachModalWindow) {
    MainWindowDriver t;
    std::vector<std::string> calls;
    t.window_->addActivationHook([&] { calls.push_back("updater"); });
    t.window_->addActivationHook([&] { calls.push_back("settings"); });
    ASSERT_TRUE(t.show());
    EXPECT_EQ(calls, (std::vector<std::string>{"updater", "settings"}));
    {
        MessageBoxAnswerer ok;
        t.click(t.window_->viewLogButton);  // "Log File does not exist."
        ASSERT_EQ(ok.seen().size(), 1u);
    }
    EXPECT_TRUE(processEventsUntil([&] { return calls.size() == 4; }, 5000));
    EXPECT_EQ(calls.size(), 4u);
    // Showing the window again (minimised and restored) is no activation by a
    // window of the program.
    t.window_->hide();
    ASSERT_TRUE(t.show());
    QApplication::processEvents();
    EXPECT_EQ(calls.size(), 4u);
}

TEST(StartUp, ProjectFileIsFoundInTheDataDirectory) {
    MainWindowDriver t;
    t.writeProjects("[First]\nMySQLServer=a\n\n[Second]\n");
    ASSERT_TRUE(t.show());
    EXPECT_EQ(t.window_->projectFileName(), t.projectFile());
    EXPECT_EQ(t.window_->table().rowCount(), 2);
    EXPECT_EQ(t.window_->table().currentIndex(), 0);
    EXPECT_EQ(t.window_->projectNameEdit->text(), "First");
    // The load rewrote the file in the program's own form.
    EXPECT_EQ(t.projectFileText().find("[First]\r\nMySQLServer=a\r\nMySQLPort=\r\n"), 0u);
}
