#include "backup/ConnectionTest.h"

#include "backup/DatabaseBackup.h"
#include "mysql/TMyConnection.h"
#include "projects/PasswordCipher.h"

namespace tharvel {

void ConnectionTest::run(const std::string& server, const std::string& portText, const std::string& database,
                         const std::string& user, const std::string& storedPassword,
                         const std::string& tlsMode, const std::string& tlsCa) {
    TMyConnection connection;  // closed (quit command sent) when it goes, also after a failure
    connection.SetLoginPrompt(false);
    connection.Options().SetCharset("");
    connection.Options().SetUseUnicode(true);
    connection.SetServer(server);
    connection.SetPort(DatabaseBackup::portOf(portText));
    connection.SetDatabase(database);
    connection.SetUsername(user);
    connection.SetPassword(storedPassword.empty() ? std::string()
                                                  : PasswordCipher::decipherPassword(storedPassword));
    connection.Options().SetTlsMode(ParseTlsMode(tlsMode));
    connection.Options().SetTlsCaFile(tlsCa);
    connection.Open();
}

}  // namespace tharvel
