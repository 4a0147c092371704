#pragma once
#include <string>

namespace tharvel {

// The project editor's connection test: opens a MySQL connection with a project's
// values as the project table holds them (the password in its stored, enciphered
// form) and closes it again. A failure raises the connection's error (MySqlError)
// unchanged; on return the caller shows "Success!". tlsMode and tlsCa are the
// project's encryption setting and CA file (empty: the defaults).
class ConnectionTest {
public:
    static void run(const std::string& server, const std::string& portText, const std::string& database,
                    const std::string& user, const std::string& storedPassword,
                    const std::string& tlsMode = {}, const std::string& tlsCa = {});
};

}  // namespace tharvel
