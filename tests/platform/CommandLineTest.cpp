#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/DesktopLauncher.h"
#include "platform/ProgramVersion.h"
#include "support/ProgramRun.h"
#include "support/TempDir.h"
#include "web/MakerService.h"

namespace fs = std::filesystem;
using tharvel::DesktopLauncher;
using tharvel::ProgramVersion;
using namespace tharvel::test;

namespace {

const fs::path kTharvel = THARVEL_BINARY;
const fs::path kDesktop = kTharvel.parent_path() / DesktopLauncher::kProgramName;

std::vector<std::string> noDisplayIn(const TempDir& home) {
    auto env = withoutDisplay();
    env.push_back("THARVEL_HOME=" + home.path().string());
    return env;
}

// A copy of the program alone in a folder of its own, as an installed one with
// nothing beside it.
fs::path lonelyCopy(const TempDir& dir) {
    fs::create_directories(dir / "bin");
    const fs::path copy = dir / "bin" / "tharvel";
    fs::copy_file(kTharvel, copy);
    return copy;
}

}  // namespace

TEST(CommandLine, SwitchesWithoutADisplay) {
    const std::string version = std::string("tharvel ") + ProgramVersion::text() + "\n";
    const std::string noDisplay = DesktopLauncher::noDisplayMessage() + "\n";
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string out;  // a prefix of standard output
        std::string err;  // all of standard error
    };
    const Case cases[] = {
        {{"--help"}, 0, "Usage: tharvel [-BACKUP | -h | --help | --version]\n", ""},
        {{"-h"}, 0, "Usage: tharvel [-BACKUP | -h | --help | --version]\n", ""},
        {{"--version"}, 0, version, ""},
        {{"--version", "extra"}, 0, version, ""},
        // Everything else is the desktop window's, which has no display here.
        {{}, 1, "", noDisplay},
        {{"--no-such-switch"}, 1, "", noDisplay},
        {{"--HELP"}, 1, "", noDisplay},
        {{"x", "--version"}, 1, "", noDisplay},
        {{"/BACKUP"}, 1, "", noDisplay},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
        TempDir home("tharvel-cli");
        std::vector<std::string> argv{kTharvel.string()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const auto r = runProgram(argv, noDisplayIn(home));
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.out.substr(0, c.out.size()), c.out);
        if (c.out.empty()) {
            EXPECT_EQ(r.out, "");
        }
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_NE(noDisplay.find("tharvel -BACKUP"), std::string::npos);
}

TEST(CommandLine, HelpNamesEverySwitchAndVersionIsTheAboutWindowsVersion) {
    TempDir home;
    const auto help = runProgram({kTharvel.string(), "--help"}, noDisplayIn(home));
    for (const char* word : {"-BACKUP", "--version", "THARVEL_HOME", "XDG_CONFIG_HOME", "tharvel(1)"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    // The version is defined once: the About window compares the same text.
    tharvel::MakerService maker;
    maker.assignSettings();
    EXPECT_EQ(maker.settings().appVersion, ProgramVersion::text());
    EXPECT_STRNE(ProgramVersion::text(), "");
}

TEST(CommandLine, OutputThatCannotBeWrittenIsAFailure) {
    TempDir home;
    for (const char* arg : {"--help", "--version"}) {
        const auto r = runProgram({kTharvel.string(), arg}, noDisplayIn(home), "/dev/full");
        EXPECT_EQ(r.exitCode, 1) << arg;
        EXPECT_NE(r.err.find("write error"), std::string::npos) << arg;
    }
}

TEST(CommandLine, MissingDesktopProgramIsReportedNotCrashed) {
    TempDir dir("tharvel-lonely");
    const fs::path copy = lonelyCopy(dir);
    TempDir home;
    auto env = noDisplayIn(home);
    env.push_back("DISPLAY=:0");
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"--no-such-switch"}}) {
        std::vector<std::string> argv{copy.string()};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto r = runProgram(argv, env);
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, DesktopLauncher::notInstalledMessage() + "\n");
        EXPECT_NE(r.err.find("tharvel -BACKUP"), std::string::npos);
    }
    // The switches need nothing beside the program.
    EXPECT_EQ(runProgram({copy.string(), "--version"}, env).exitCode, 0);
}

TEST(CommandLine, DisplayThatCannotBeOpenedIsOneLineNotACoreDump) {
    if (!fs::exists(kDesktop)) GTEST_SKIP() << "built without the desktop window";
    ASSERT_FALSE(fs::exists("/tmp/.X11-unix/X4711"));
    struct Case {
        std::string variable, shown;
    };
    const Case cases[] = {
        {"DISPLAY=:4711", "the display ':4711'"},
        {"WAYLAND_DISPLAY=tharvel-no-such-wayland", "the display 'tharvel-no-such-wayland'"},
        {"QT_QPA_PLATFORM=no-such-platform", "the window platform 'no-such-platform'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.variable);
        TempDir home;
        auto env = noDisplayIn(home);
        env.push_back(c.variable);
        // Through tharvel, and the desktop program started on its own.
        for (const fs::path& program : {kTharvel, kDesktop}) {
            const auto r = runProgram({program.string()}, env);
            EXPECT_EQ(r.signal, 0);
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_EQ(r.err, "tharvel: the desktop window cannot open " + c.shown +
                                 "; for an unattended backup run: tharvel -BACKUP\n");
        }
    }
    TempDir home;
    const auto r = runProgram({kDesktop.string()}, noDisplayIn(home));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, DesktopLauncher::noDisplayMessage() + "\n");
}

TEST(CommandLine, TharvelLoadsNoQtLibrary) {
    const auto deps = runProgram({"ldd", kTharvel.string()});
    ASSERT_EQ(deps.exitCode, 0);
    EXPECT_NE(deps.out.find("libc.so"), std::string::npos);
    EXPECT_EQ(deps.out.find("libQt"), std::string::npos) << deps.out;
    // The same check sees Qt where it is.
    if (fs::exists(kDesktop)) {
        EXPECT_NE(runProgram({"ldd", kDesktop.string()}).out.find("libQt6Widgets"), std::string::npos);
    }
}
