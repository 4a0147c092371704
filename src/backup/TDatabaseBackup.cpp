#include "backup/TDatabaseBackup.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "dump/TMyDump.h"
#include "mysql/TMyConnection.h"
#include "projects/TCifrare.h"

namespace tharvel {

int TDatabaseBackup::PortOf(const std::string& text) {
    int port = 0;
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;
    auto [ptr, ec] = std::from_chars(begin, end, port);
    return ec == std::errc() && ptr == end && begin != end ? port : 3306;
}

void TDatabaseBackup::Configure(TMyConnection& connection, const TBackupRecord& project) {
    connection.SetLoginPrompt(false);
    connection.Options().SetCharset("utf8");
    connection.Options().SetUseUnicode(false);
    connection.SetServer(project.MySQLServer);
    connection.SetPort(PortOf(project.MySQLPort));
    connection.SetDatabase(project.MySQLDataBase);
    connection.SetUsername(project.MySQLUser);
    connection.SetPassword(project.MySQLPassword.empty() ? std::string()
                                                         : TCifrare::decipherPassword(project.MySQLPassword));
}

std::string TDatabaseBackup::DumpFilePath(const TBackupRecord& project, const std::string& folder,
                                          std::time_t now) {
    std::string path = folder + project.MySQLDataBase;
    if (project.MySQLNewBackupEachDay == 1) {
        std::tm local{};
        localtime_r(&now, &local);
        char date[16];
        std::strftime(date, sizeof date, "%Y-%m-%d", &local);
        path += "_";
        path += date;
    }
    return path + ".sql";
}

std::string TDatabaseBackup::Run(const TBackupRecord& project, const std::string& folder,
                                 const TDABackupProgressEvent& progress,
                                 const std::function<void(const std::string&)>& warning) {
    TMyConnection connection;
    Configure(connection, project);
    connection.Open();
    TMyDump dump;
    dump.Connection = &connection;
    dump.OnBackupProgress = progress;
    dump.OnWarning = warning;
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    const std::string path = DumpFilePath(project, folder, std::time(nullptr));
    const std::string partial = PartialPath(path);
    dump.BackupToFile(partial);
    if (std::rename(partial.c_str(), path.c_str()) != 0)
        throw std::runtime_error("Cannot rename file \"" + partial + "\" to \"" + path + "\". " +
                                 std::strerror(errno));
    return path;
}

}  // namespace tharvel
