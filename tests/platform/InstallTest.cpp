#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "platform/DesktopLauncher.h"
#include "platform/ProgramVersion.h"
#include "support/ProgramRun.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using tharvel::DesktopLauncher;
using namespace tharvel::test;

namespace {

const fs::path kBuild = fs::path(THARVEL_BINARY).parent_path();

bool executable(const fs::path& file) {
    struct stat st {};
    return stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0111) == 0111;
}

bool toolExists(const std::string& name) {
    return runProgram({"sh", "-c", "command -v " + name}).exitCode == 0;
}

// `cmake --install` of the build into a staging folder, as a package build does.
class Installed {
public:
    Installed() {
        const auto r =
            runProgram({"cmake", "--install", kBuild.string()}, {"DESTDIR=" + root_.path().string()});
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        for (const auto& entry : fs::recursive_directory_iterator(root_.path()))
            if (entry.path().filename() == "tharvel-backup.service") unitDir_ = entry.path().parent_path();
        // The service names the program by its absolute installed path.
        std::smatch m;
        const std::string unit = service();
        if (std::regex_search(unit, m, std::regex("\nExecStart=(/\\S+)/bin/tharvel -BACKUP\n")))
            prefix_ = root_.path().string() + m[1].str();
    }
    const fs::path& prefix() const { return prefix_; }
    const fs::path& unitDir() const { return unitDir_; }
    std::string service() const {
        return unitDir_.empty() ? "" : readFile(unitDir_ / "tharvel-backup.service");
    }
    const TempDir& root() const { return root_; }

private:
    TempDir root_{"tharvel-install"};
    fs::path unitDir_, prefix_;
};

}  // namespace

TEST(Install, LaysOutProgramsManualEntryAndUnits) {
    Installed in;
    ASSERT_FALSE(in.prefix().empty()) << in.service();
    const bool desktop = fs::exists(kBuild / DesktopLauncher::kProgramName);
    EXPECT_TRUE(executable(in.prefix() / "bin" / "tharvel"));
    EXPECT_TRUE(fs::is_regular_file(in.prefix() / "share" / "man" / "man1" / "tharvel.1.gz"));
    EXPECT_TRUE(fs::is_regular_file(in.unitDir() / "tharvel-backup.timer"));
    EXPECT_EQ(executable(in.prefix() / "libexec" / "tharvel" / "tharvel-desktop"), desktop);
    EXPECT_EQ(fs::is_regular_file(in.prefix() / "share" / "applications" / "tharvel.desktop"), desktop);
    EXPECT_EQ(fs::is_regular_file(in.prefix() / "share" / "icons" / "hicolor" / "scalable" / "apps" /
                                  "tharvel.svg"),
              desktop);
    // Nothing but the installed programs is in bin: the desktop program is started, not typed.
    EXPECT_EQ(std::distance(fs::directory_iterator(in.prefix() / "bin"), fs::directory_iterator()), 1);

    // The installed tharvel finds the installed desktop program in libexec.
    TempDir home;
    auto env = withoutDisplay();
    env.push_back("THARVEL_HOME=" + home.path().string());
    const auto r = runProgram({(in.prefix() / "bin" / "tharvel").string()}, env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(
        r.err,
        (desktop ? DesktopLauncher::noDisplayMessage() : DesktopLauncher::notInstalledMessage()) + "\n");
    EXPECT_EQ(runProgram({(in.prefix() / "bin" / "tharvel").string(), "--version"}).exitCode, 0);
}

TEST(Install, ManualPageRendersWithoutWarnings) {
    Installed in;
    const auto man =
        runProgram({"man", "--warnings", "-l", (in.prefix() / "share/man/man1/tharvel.1.gz").string()},
                   {"MANWIDTH=80", "MAN_KEEP_FORMATTING", "LANG=C.UTF-8"});
    EXPECT_EQ(man.exitCode, 0);
    EXPECT_EQ(man.err, "");
    for (const char* part : {"NAME", "SYNOPSIS", "OPTIONS", "EXIT STATUS", "ENVIRONMENT", "FILES", "EXAMPLES",
                             "-BACKUP", "--version", "THARVEL_HOME", "0600", "0700", "tharvel-backup.timer"})
        EXPECT_NE(man.out.find(part), std::string::npos) << part;
    EXPECT_NE(man.out.find(std::string("Tharvel ") + tharvel::ProgramVersion::text()), std::string::npos);
}

TEST(Install, SystemdUnitsVerify) {
    if (!toolExists("systemd-analyze")) GTEST_SKIP() << "no systemd-analyze here";
    Installed in;
    ASSERT_FALSE(in.prefix().empty());
    // Checked where the staged program is; the path itself is checked above.
    TempDir units;
    std::string service = in.service();
    service = std::regex_replace(service, std::regex("\nExecStart=/\\S+/bin/tharvel"),
                                 "\nExecStart=" + (in.prefix() / "bin" / "tharvel").string());
    writeFile(units / "tharvel-backup.service", service);
    fs::copy_file(in.unitDir() / "tharvel-backup.timer", units / "tharvel-backup.timer");
    const auto r =
        runProgram({"systemd-analyze", "verify", "--man=no", (units / "tharvel-backup.service").string(),
                    (units / "tharvel-backup.timer").string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

TEST(Install, DesktopEntryValidates) {
    if (!toolExists("desktop-file-validate")) GTEST_SKIP() << "no desktop-file-validate here";
    if (!fs::exists(kBuild / DesktopLauncher::kProgramName))
        GTEST_SKIP() << "built without the desktop window";
    Installed in;
    const auto r =
        runProgram({"desktop-file-validate", (in.prefix() / "share/applications/tharvel.desktop").string()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out + r.err, "");
}
