#pragma once
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tharvel {

// Appends lines to the backup log: UTF-8, CR LF line ends, stamped lines as
// "dd/MM/yyyy  HH:mm:ss  text". Each call opens, appends and closes, so the log is
// complete on disk after every line.
class LogFile {
public:
    // The log's name in the data directory, beside the project file.
    static constexpr const char* kFileName = "TharvelLog.txt";

    // Gives the local date and time for a stamp; tests inject a fixed one.
    using Clock = std::function<std::tm()>;

    // Keeps the path and creates its directory with every missing parent (a failure
    // there is left for writeLine to meet).
    explicit LogFile(std::filesystem::path path, Clock clock = {});

    // Appends `text` as one line, or as several when it holds CR LF (split at CR LF,
    // lone CR and lone LF), each with the same stamp when `stamped`. Returns false when
    // the path is empty or the file cannot be opened; raises std::system_error when a
    // write fails after opening (the file is closed first). The lines as formatted
    // (without line ends) go to `written` even when the file cannot be opened.
    bool writeLine(const std::string& text, bool stamped, std::vector<std::string>* written = nullptr);

    const std::filesystem::path& path() const { return path_; }

    // "dd/MM/yyyy  HH:mm:ss" for the given local time.
    static std::string stamp(const std::tm& local);

    // The local time now.
    static std::tm now();

private:
    std::filesystem::path path_;
    Clock clock_;
};

}  // namespace tharvel
