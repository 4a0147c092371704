#include "backup/TDatabaseBackup.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <stdexcept>

#include "dump/TMyDump.h"
#include "mysql/TMyConnection.h"
#include "projects/TCifrare.h"
#include "projects/VT.h"

namespace tharvel {

int TDatabaseBackup::PortOf(const std::string& text) {
    // The project table's integer rule (blanks around the digits allowed), so the
    // port shown is the port used.
    std::optional<std::int64_t> port = parseInteger(text);
    return port && *port >= std::numeric_limits<int>::min() && *port <= std::numeric_limits<int>::max()
               ? static_cast<int>(*port)
               : 3306;
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
    connection.Options().SetTlsMode(ParseTlsMode(project.MySQLTLS));
    connection.Options().SetTlsCaFile(project.MySQLTLSCA);
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
                                 const TDABackupProgressEvent& progress) {
    TMyConnection connection;
    Configure(connection, project);
    connection.Open();
    TMyDump dump;
    dump.Connection = &connection;
    dump.OnBackupProgress = progress;
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
