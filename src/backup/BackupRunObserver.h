#pragma once
#include <cstdint>
#include <string>

namespace tharvel {

// What a backup run shows while it works: the progress window implements it for
// the desktop, the unattended run for the terminal. Every call comes on the thread
// that drains the run (the main thread).
class BackupRunObserver {
public:
    virtual ~BackupRunObserver() = default;

    // The project being backed up (the bold name label).
    virtual void projectNameChanged(const std::string& name) { (void)name; }
    // What the job in hand is doing (the step label).
    virtual void stepTextChanged(const std::string& text) { (void)text; }
    // Progress of the step in hand (first bar); above 100 shows as full.
    virtual void stepProgressChanged(int32_t position) { (void)position; }
    // Progress of the whole run (second bar); above 100 shows as full.
    virtual void runProgressChanged(int32_t position) { (void)position; }
    // A line as it was written to the log, stamp included, without its line end.
    virtual void logLineWritten(const std::string& line) { (void)line; }
    // The run has ended on its own: close the window.
    virtual void closeWindow() {}
};

}  // namespace tharvel
