#include "backup/ConnectionTest.h"

#include "backup/DatabaseBackup.h"
#include "mysql/MySqlConnection.h"
#include "projects/PasswordCipher.h"

namespace tharvel {

void ConnectionTest::Run(const std::string& server, const std::string& portText, const std::string& database,
                         const std::string& user, const std::string& storedPassword,
                         const std::string& tlsMode, const std::string& tlsCa) {
    MySqlConnection connection;  // closed (quit command sent) when it goes, also after a failure
    connection.options().setCharset("");
    connection.options().setUseUnicode(true);
    connection.setServer(server);
    connection.setPort(DatabaseBackup::PortOf(portText));
    connection.setDatabase(database);
    connection.setUsername(user);
    connection.setPassword(storedPassword.empty() ? std::string()
                                                  : PasswordCipher::decipherPassword(storedPassword));
    connection.options().setTlsMode(parseTlsMode(tlsMode));
    connection.options().setTlsCaFile(tlsCa);
    connection.open();
}

}  // namespace tharvel
