#include "backup/UnattendedBackup.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <exception>
#include <string>

#include "backup/BackupRun.h"
#include "backup/LogFile.h"
#include "platform/AppPaths.h"
#include "projects/ProjectFile.h"
#include "projects/ProjectRules.h"
#include "projects/ProjectTable.h"

namespace tharvel {
namespace {

std::atomic<bool> signalled{false};

// The first stop signal cancels as the Cancel button does; a second one, of
// either kind, ends the process at once, by that signal.
void onSignal(int number) {
    if (signalled.exchange(true)) {
        ::signal(number, SIG_DFL);
        ::raise(number);  // delivered as the handler returns (it is blocked until then)
    }
}

// Prints the run to the terminal: log lines to `out`, a progress line to `progress`.
class TerminalObserver : public BackupRunObserver {
public:
    TerminalObserver(std::FILE* out, std::FILE* progress) : out_(out), progress_(progress) {}
    ~TerminalObserver() override { clearProgress(); }

    void projectNameChanged(const std::string& name) override {
        project_ = name;
        step_.clear();
        draw();
    }
    void stepTextChanged(const std::string& text) override {
        step_ = text;
        draw();
    }
    void stepProgressChanged(int32_t position) override {
        stepPercent_ = position;
        draw();
    }
    void runProgressChanged(int32_t position) override {
        runPercent_ = position;
        draw();
    }
    void logLineWritten(const std::string& line) override {
        clearProgress();
        std::fputs(line.c_str(), out_);
        std::fputc('\n', out_);
        std::fflush(out_);
        draw();
    }

private:
    static int clamp(int32_t value) { return value < 0 ? 0 : value > 100 ? 100 : value; }

    void draw() {
        if (!progress_ || project_.empty()) return;
        std::string line = "[" + std::to_string(clamp(runPercent_)) + "%] " + project_;
        if (!step_.empty()) line += ": " + step_;
        line += " " + std::to_string(clamp(stepPercent_)) + "%";
        size_t width = 79;
        struct winsize size;
        if (ioctl(fileno(progress_), TIOCGWINSZ, &size) == 0 && size.ws_col > 1) width = size.ws_col - 1;
        if (line.size() > width) {
            size_t cut = width;
            // Never cut inside a UTF-8 sequence.
            while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
            line.resize(cut);
        }
        std::fprintf(progress_, "\r\x1b[K%s", line.c_str());
        std::fflush(progress_);
        drawn_ = true;
    }

    void clearProgress() {
        if (!progress_ || !drawn_) return;
        std::fputs("\r\x1b[K", progress_);
        std::fflush(progress_);
        drawn_ = false;
    }

    std::FILE* out_;
    std::FILE* progress_;
    std::string project_;
    std::string step_;
    int32_t stepPercent_ = 0;
    int32_t runPercent_ = 0;
    bool drawn_ = false;
};

}  // namespace

bool UnattendedBackup::isBackupSwitch(int argc, char** argv) {
    if (argc < 2 || !argv[1]) return false;
    std::string first = argv[1];
    for (char& c : first) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return first == "-BACKUP";
}

int UnattendedBackup::main() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Both blocked while either is handled, so two at once cannot both be "first".
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader of the output that goes away must not end the backup.
    signal(SIGPIPE, SIG_IGN);
    std::FILE* progress = isatty(STDERR_FILENO) ? stderr : nullptr;
    return run(AppPaths::dataDirectory(), stdout, stderr, progress, signalled);
}

int UnattendedBackup::run(const std::filesystem::path& dataDirectory, std::FILE* out, std::FILE* err,
                          std::FILE* progress, const std::atomic<bool>& cancel) {
    ProjectTable table;
    ProjectRules rules(table, dataDirectory / ProjectFile::kFileName);
    try {
        rules.load();
    } catch (const std::exception& error) {
        std::fprintf(err, "Error: %s\n", error.what());
        return Failed;
    }
    if (table.isEmpty()) {
        std::fprintf(err, "No backup projects in '%s': nothing was backed up\n", rules.projectFile().c_str());
        return Failed;
    }
    table.first();

    int result;
    std::string lastError, logError;
    {
        TerminalObserver observer(out, progress);
        BackupRun run(table, dataDirectory / LogFile::kFileName, BackupRun::AllProjects, &observer);
        run.show();
        bool cancelled = false;
        while (!run.finished()) {
            if (!cancelled && cancel.load()) {
                cancelled = true;
                run.close();
            }
            run.waitForNotifications(std::chrono::milliseconds(100));
            run.processNotifications();
        }
        result = run.runResult();
        lastError = run.lastError();
        logError = run.logError();
    }
    if (!rules.lastSaveSucceeded())
        std::fprintf(err, "Warning: the project file '%s' could not be written: it was not updated\n",
                     rules.projectFile().c_str());
    // The lines above went to standard output; the log itself lacks them.
    if (!logError.empty()) std::fprintf(err, "Error: %s\n", logError.c_str());
    if (result == 1 && !lastError.empty())
        std::fprintf(err, "Backup finished with errors: %s\n", lastError.c_str());
    return result == 0 ? Success : result == 2 ? Cancelled : Failed;
}

}  // namespace tharvel
