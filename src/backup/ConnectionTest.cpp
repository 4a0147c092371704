#include "backup/ConnectionTest.h"

#include "backup/DatabaseBackup.h"
#include "mysql/MySqlConnection.h"
#include "projects/BackupProject.h"

namespace tharvel {

void ConnectionTest::Run(const std::string& server, const std::string& portText, const std::string& database,
                         const std::string& user, const std::string& storedPassword,
                         const std::string& tlsMode, const std::string& tlsCa) {
    // The same set-up as the database step's, so a test that passes means a backup
    // that logs in.
    BackupProject project;
    project.MySQLServer = server;
    project.MySQLPort = portText;
    project.MySQLDataBase = database;
    project.MySQLUser = user;
    project.MySQLPassword = storedPassword;
    project.MySQLTLS = tlsMode;
    project.MySQLTLSCA = tlsCa;
    // Closed (quit command sent) when it goes; a failure raises before it is made.
    DatabaseBackup::OpenConnection(project);
}

}  // namespace tharvel
