#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <optional>

#include "platform/AppPaths.h"
#include "projects/ProjectFile.h"
#include "support/ProgramRun.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using tharvel::AppPaths;
using namespace tharvel::test;

namespace {

// Sets or removes one environment variable and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = getenv(name)) old_ = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

unsigned modeOf(const fs::path& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

}  // namespace

TEST(AppPaths, DataDirectoryRule) {
    enum Ini { None, File, Folder };
    struct Case {
        const char* name;
        std::optional<std::string> home;  // THARVEL_HOME, relative to the test folder
        Ini ini;                          // what "Tharvel.ini" in the executable's folder is
        std::optional<std::string> xdg;   // XDG_CONFIG_HOME, absolute when it starts with "/"
        std::string expected;             // relative to the test folder; "bin" is the executable's
    };
    const Case cases[] = {
        {"home wins over a portable file", "home", File, "/xdg", "home"},
        {"empty home is unset", "", File, "/xdg", "bin"},
        {"portable file beside the program", std::nullopt, File, "/xdg", "bin"},
        {"writable program folder without a file", std::nullopt, None, "/xdg", "xdg/tharvel"},
        {"a folder named Tharvel.ini is no file", std::nullopt, Folder, "/xdg", "xdg/tharvel"},
        {"no XDG_CONFIG_HOME", std::nullopt, None, std::nullopt, "user/.config/tharvel"},
        {"empty XDG_CONFIG_HOME", std::nullopt, None, "", "user/.config/tharvel"},
        {"relative XDG_CONFIG_HOME is ignored", std::nullopt, None, "xdg", "user/.config/tharvel"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tmp("tharvel-paths");
        const fs::path bin = tmp / "bin";
        fs::create_directories(bin);
        if (c.ini == File) writeFile(bin / tharvel::ProjectFile::kFileName, "");
        if (c.ini == Folder) fs::create_directories(bin / tharvel::ProjectFile::kFileName);
        std::optional<std::string> home, xdg = c.xdg;
        if (c.home) home = c.home->empty() ? "" : (tmp / *c.home).string();
        if (xdg && xdg->starts_with("/")) xdg = (tmp.path() / xdg->substr(1)).string();
        ScopedEnv homeEnv("THARVEL_HOME", home), xdgEnv("XDG_CONFIG_HOME", xdg),
            userEnv("HOME", (tmp / "user").string());

        const fs::path dir = AppPaths::dataDirectoryFor(bin);
        EXPECT_EQ(dir, tmp / c.expected);
        // The folder is made for the passwords it will hold; nothing lands beside the program.
        if (c.expected.ends_with("/tharvel")) {
            EXPECT_EQ(modeOf(dir), 0700u);
            EXPECT_EQ(modeOf(dir.parent_path()), 0700u);
            EXPECT_EQ(fs::is_empty(bin), c.ini == None);
        }
    }
}

TEST(AppPaths, ExistingConfigFolderKeepsItsMode) {
    TempDir tmp;
    fs::create_directories(tmp / "xdg" / "tharvel");
    chmod((tmp / "xdg" / "tharvel").c_str(), 0750);
    ScopedEnv homeEnv("THARVEL_HOME", std::nullopt), xdgEnv("XDG_CONFIG_HOME", (tmp / "xdg").string());
    EXPECT_EQ(AppPaths::dataDirectoryFor(tmp / "bin"), tmp / "xdg" / "tharvel");
    EXPECT_EQ(modeOf(tmp / "xdg" / "tharvel"), 0750u);
}

// An installed tharvel in a folder it may write to (root and /usr/bin) keeps its
// projects and log in the user's config folder; a portable copy keeps them beside it.
TEST(AppPaths, InstalledProgramNeverWritesIntoItsOwnFolder) {
    for (const bool portable : {false, true}) {
        SCOPED_TRACE(portable ? "portable" : "installed");
        TempDir tmp("tharvel-installed");
        const fs::path bin = tmp / "usr" / "bin";
        fs::create_directories(bin);
        fs::copy_file(THARVEL_BINARY, bin / "tharvel");
        const fs::path data = portable ? bin : tmp / "user" / ".config" / "tharvel";
        writeFile(tmp / "site" / "a.txt", "a");
        writeFile(data / "Tharvel.ini", "[Site]\r\nFilesDirectory=" + (tmp / "site").string() +
                                            "\r\nBackupDirectory=" + (tmp / "out").string() + "\r\n");
        const auto r = runProgram({(bin / "tharvel").string(), "-BACKUP"},
                                  {"THARVEL_HOME", "XDG_CONFIG_HOME", "HOME=" + (tmp / "user").string()});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(readFile(tmp / "out" / "Site" / "site" / "a.txt"), "a");
        EXPECT_TRUE(fs::exists(data / "TharvelLog.txt"));
        if (!portable) {
            EXPECT_EQ(std::distance(fs::directory_iterator(bin), fs::directory_iterator()), 1);
        }
    }
}

TEST(AppPaths, TitleIsTheExecutableNameWithoutExtension) {
    EXPECT_EQ(AppPaths::applicationTitle(), "test_platform");
}
