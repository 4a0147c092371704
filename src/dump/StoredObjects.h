#pragma once
#include <exception>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace tharvel {

class MySqlConnection;
class DumpScript;

// The triggers, stored routines, events and sequences of the dump connection's
// database: which there are, and their sections of the dump file. Definitions are
// read in the character set they were written in and restored under the settings
// they were created with (character set, collation, sql_mode, the time zone of an
// event), so each object behaves as before.
class StoredObjects {
public:
    struct Server {
        bool mariadb = false;
        int major = 0, minor = 0, release = 0;  // the real version (MariaDB 10 and later too)
    };
    struct Item {
        std::string kind;     // "TRIGGER", "PROCEDURE", "FUNCTION", "PACKAGE", "PACKAGE BODY", "EVENT"
        std::string name;     // as the server knows it
        std::string written;  // by the name rule
    };
    using Warning = std::function<void(const std::string&)>;

    // A server error's text for a log line: without the line break and SQL state before it.
    static std::string serverMessage(const std::exception& error);

    StoredObjects(MySqlConnection& connection, const Server& server, Warning warning);

    // Reads the lists. A kind the user cannot list at all gives a warning.
    void readLists();

    // Triggers of a base table, in the order they fire.
    const std::vector<Item>& triggersOf(const std::string& table) const;
    const std::vector<Item>& routines() const { return routines_; }
    const std::vector<Item>& events() const { return events_; }
    size_t count() const;

    // One section each (comment block, DROP, the object); no empty line after it.
    // Raises an error naming the object when its definition cannot be read.
    void write(DumpScript& script, const Item& item);
    // A sequence: CREATE SEQUENCE and the value its next use returns.
    void writeSequence(DumpScript& script, const std::string& name, const std::string& written);

private:
    struct Definition {
        std::string text, sqlMode, charsetClient, collation, timeZone;
    };
    Definition read(const Item& item);
    std::string privilegeFor(const std::string& kind) const;
    // The account holds one of the privileges for the whole database.
    bool canList(std::initializer_list<const char*> privileges);

    MySqlConnection& connection_;
    Server server_;
    Warning warning_;
    std::map<std::string, std::vector<Item>> triggers_;
    std::vector<Item> routines_;
    std::vector<Item> events_;
    std::string results_;  // the session's character_set_results, put back after each definition
};

}  // namespace tharvel
