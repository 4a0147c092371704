#include "backup/ConnectionTest.h"

#include "backup/DatabaseBackup.h"
#include "mysql/MySqlConnection.h"
#include "projects/BackupProject.h"

namespace tharvel {

void ConnectionTest::run(const std::string& server, const std::string& portText, const std::string& database,
                         const std::string& user, const std::string& storedPassword,
                         const std::string& tlsMode, const std::string& tlsCa) {
    // The same set-up as the database step's, so a test that passes means a backup
    // that logs in.
    BackupProject project;
    project.mysqlServer = server;
    project.mysqlPort = portText;
    project.mysqlDatabase = database;
    project.mysqlUser = user;
    project.mysqlPassword = storedPassword;
    project.mysqlTls = tlsMode;
    project.mysqlTlsCa = tlsCa;
    // Closed (quit command sent) when it goes; a failure raises before it is made.
    DatabaseBackup::openConnection(project);
}

}  // namespace tharvel
