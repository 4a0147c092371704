#include "backup/DatabaseBackup.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <stdexcept>
#include <utility>

#include "dump/SqlDump.h"
#include "dump/StreamWriteError.h"
#include "mysql/MySqlConnection.h"
#include "projects/PasswordCipher.h"
#include "projects/ProjectTable.h"

namespace tharvel {

int DatabaseBackup::portOf(const std::string& text) {
    // The project table's integer rule (blanks around the digits allowed), so the
    // port shown is the port used.
    std::optional<std::int64_t> port = parseInteger(text);
    return port && *port >= std::numeric_limits<int>::min() && *port <= std::numeric_limits<int>::max()
               ? static_cast<int>(*port)
               : 3306;
}

void DatabaseBackup::configure(MySqlConnection& connection, const BackupProject& project) {
    connection.options().setCharset("utf8");
    connection.options().setUseUnicode(false);
    connection.setServer(project.mysqlServer);
    connection.setPort(portOf(project.mysqlPort));
    connection.setDatabase(project.mysqlDatabase);
    connection.setUsername(project.mysqlUser);
    connection.setPassword(project.mysqlPassword.empty()
                               ? std::string()
                               : PasswordCipher::decipherPassword(project.mysqlPassword));
    connection.options().setTlsMode(parseTlsMode(project.mysqlTls));
    connection.options().setTlsCaFile(project.mysqlTlsCa);
}

std::unique_ptr<MySqlConnection> DatabaseBackup::openConnection(const BackupProject& project) {
    auto connection = std::make_unique<MySqlConnection>();
    configure(*connection, project);
    connection->open();
    return connection;
}

Compression DatabaseBackup::compressionOf(const BackupProject& project) {
    if (auto known = parseDumpCompression(project.dumpCompression)) return *known;
    throw std::runtime_error("Unknown dump compression '" + project.dumpCompression +
                             "' (none, gzip or zstd)");
}

std::filesystem::path DatabaseBackup::dumpFilePath(const BackupProject& project,
                                                   const std::filesystem::path& folder, std::time_t now) {
    // Appended as it is, not as a path component: the folder ends in "/" already.
    std::filesystem::path path = folder;
    path += project.mysqlDatabase;
    if (project.newBackupEachDay == 1) {
        std::tm local{};
        localtime_r(&now, &local);
        char date[16];
        std::strftime(date, sizeof date, "%Y-%m-%d", &local);
        path += "_";
        path += date;
    }
    path += dumpFileSuffix(compressionOf(project));
    return path;
}

std::filesystem::path DatabaseBackup::run(const BackupProject& project, const std::filesystem::path& folder,
                                          const SqlDump::ProgressHandler& progress, const LogLine& log,
                                          const StopRequested& stopRequested, const LogLine& warning) {
    const Compression compression = compressionOf(project);
    std::unique_ptr<MySqlConnection> connection = openConnection(project);
    SqlDump::Options options;
    options.connection = connection.get();
    // Tables may be read on further connections like the backup connection.
    options.openConnection = [project] { return openConnection(project); };
    options.onProgress = progress;
    options.onWarning = warning;
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    std::filesystem::path path = dumpFilePath(project, folder, std::time(nullptr));
    const std::filesystem::path partial = partialPath(path);
    try {
        SqlDump(std::move(options)).backupToFile(partial, compression);
    } catch (const StreamWriteError& e) {
        // A partial dump is kept as evidence of a failed run, but one that filled the
        // disk would keep it full for the next run and everything else on it.
        if (!e.diskFull()) throw;
        std::error_code removeError;
        bool removed = std::filesystem::remove(partial, removeError);
        throw std::runtime_error(
            std::string(e.what()) + ": " + std::strerror(e.error()) +
            (removed ? ". The partial dump file \"" + partial.string() + "\" was removed."
                     : ". The partial dump file \"" + partial.string() + "\" could not be removed."));
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0)
        throw std::runtime_error("Cannot rename file \"" + partial.string() + "\" to \"" + path.string() +
                                 "\". " + std::strerror(errno));
    if (project.newBackupEachDay == 1 && project.keepDailyDumps > 0 && !(stopRequested && stopRequested()))
        pruneDailyDumps(path, project.mysqlDatabase, project.keepDailyDumps, log);
    return path;
}

namespace {

// The date of a dated dump's name ("<prefix>_yyyy-mm-dd<suffix>"), or empty.
std::string datedDumpDate(std::string_view name, std::string_view prefix) {
    if (!name.starts_with(prefix) || name.size() < prefix.size() + 11 || name[prefix.size()] != '_')
        return {};
    std::string_view date = name.substr(prefix.size() + 1, 10);
    std::string_view suffix = name.substr(prefix.size() + 11);
    bool known = false;
    for (Compression c : {Compression::None, Compression::Gzip, Compression::Zstd})
        known = known || suffix == dumpFileSuffix(c);
    if (!known) return {};
    for (size_t i = 0; i < date.size(); ++i) {
        const bool dash = i == 4 || i == 7;
        if (dash ? date[i] != '-' : (date[i] < '0' || date[i] > '9')) return {};
    }
    auto number = [&](size_t at, size_t length) {
        unsigned value = 0;
        for (size_t i = at; i < at + length; ++i) value = value * 10 + static_cast<unsigned>(date[i] - '0');
        return value;
    };
    const std::chrono::year_month_day day{std::chrono::year(static_cast<int>(number(0, 4))),
                                          std::chrono::month(number(5, 2)), std::chrono::day(number(8, 2))};
    return day.ok() ? std::string(date) : std::string();
}

}  // namespace

std::vector<std::filesystem::path> DatabaseBackup::pruneDailyDumps(const std::filesystem::path& dumpPath,
                                                                   const std::string& database, int keep,
                                                                   const LogLine& log) {
    namespace fs = std::filesystem;
    std::vector<fs::path> deleted;
    const fs::path& written = dumpPath;
    const fs::path folder = written.parent_path();
    // The database part of the name: a database name with a "/" puts the dump below the folder.
    const std::string prefix = fs::path(database).filename().string();
    const std::string today = datedDumpDate(written.filename().string(), prefix);
    if (keep <= 0 || today.empty() || prefix.empty()) return deleted;

    std::vector<std::pair<std::string, fs::path>> dumps;  // date, path
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code statError;
        const fs::file_status status = it->symlink_status(statError);
        if (statError || status.type() != fs::file_type::regular) continue;
        std::string date = datedDumpDate(it->path().filename().string(), prefix);
        if (!date.empty()) dumps.emplace_back(std::move(date), it->path());
    }
    if (ec) {
        if (log) log("Cannot read the folder '" + folder.string() + "' to remove old dumps: " + ec.message());
        return deleted;
    }
    if (dumps.empty()) return deleted;
    std::vector<std::string> dates;
    dates.reserve(dumps.size());
    for (const auto& [date, path] : dumps) dates.push_back(date);
    std::sort(dates.begin(), dates.end(), std::greater<>());
    dates.erase(std::unique(dates.begin(), dates.end()), dates.end());
    // The newest `keep` dates stay, and so does anything of the new dump's date or
    // later (a clock set back must not cost the dump just written).
    const std::string oldestKept = dates.size() > static_cast<size_t>(keep) ? dates[keep - 1] : dates.back();
    const std::string& limit = std::min(oldestKept, today);

    std::sort(dumps.begin(), dumps.end());
    for (const auto& [date, path] : dumps) {
        if (date >= limit) continue;
        std::error_code removeError;
        if (fs::remove(path, removeError)) {
            deleted.push_back(path);
            if (log) log("Deleted old dump '" + path.string() + "'");
        } else if (removeError && log) {
            log("Cannot delete old dump '" + path.string() + "': " + removeError.message());
        }
    }
    return deleted;
}

}  // namespace tharvel
