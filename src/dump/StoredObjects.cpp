#include "dump/StoredObjects.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "dump/DumpScript.h"
#include "dump/SqlIdentifier.h"
#include "mysql/MySqlConnection.h"
#include "mysql/MySqlError.h"
#include "mysql/MySqlQuery.h"

namespace tharvel {
namespace {

struct Kind {
    const char* keyword;
    const char* title;
    int rank;  // creation order among routines: a package body needs its package
};
constexpr Kind kKinds[] = {
    {"TRIGGER", "Trigger structure for trigger", 0},
    {"FUNCTION", "Function structure for function", 0},
    {"PROCEDURE", "Procedure structure for procedure", 1},
    {"PACKAGE", "Package structure for package", 2},
    {"PACKAGE BODY", "Package body structure for package body", 3},
    {"EVENT", "Event structure for event", 0},
};

const Kind* kindOf(std::string_view keyword) {
    for (const Kind& k : kKinds)
        if (keyword == k.keyword) return &k;
    return nullptr;
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool isAccessDenied(int error) {
    return error == 1044 || error == 1142 || error == 1227 || error == 1370;
}

// "-"? digits: what the sequence columns hold; anything else from a server is refused.
bool isInteger(std::string_view text) {
    if (!text.empty() && text.front() == '-') text.remove_prefix(1);
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

StoredObjects::StoredObjects(MySqlConnection& connection, const Server& server, Warning warning)
    : connection_(connection), server_(server), warning_(std::move(warning)) {}

std::string StoredObjects::serverMessage(const std::exception& error) {
    std::string_view text = error.what();
    while (!text.empty() && (text.front() == '\r' || text.front() == '\n')) text.remove_prefix(1);
    if (text.size() >= 6 && text.front() == '#') text.remove_prefix(6);
    return std::string(text);
}

bool StoredObjects::canList(std::initializer_list<const char*> privileges) {
    // Granted to the account itself, for every database or for this one (the
    // database part of a grant may hold LIKE wildcards).
    static const std::string kMe =
        "CONCAT('''', LEFT(CURRENT_USER(), LENGTH(CURRENT_USER()) - LENGTH(SUBSTRING_INDEX(CURRENT_USER(), "
        "'@', -1)) - 1), '''@''', SUBSTRING_INDEX(CURRENT_USER(), '@', -1), '''')";
    std::string list;
    for (const char* privilege : privileges)
        list.append(list.empty() ? "" : ", ").append(DumpScript::stringLiteral(privilege));
    MySqlQuery q(connection_);
    q.open("SELECT 1 FROM information_schema.USER_PRIVILEGES WHERE GRANTEE = " + kMe +
           " AND PRIVILEGE_TYPE IN (" + list +
           ") UNION ALL SELECT 1 FROM information_schema.SCHEMA_PRIVILEGES WHERE GRANTEE = " + kMe +
           " AND DATABASE() LIKE TABLE_SCHEMA AND PRIVILEGE_TYPE IN (" + list + ")");
    return q.next();
}

std::string StoredObjects::privilegeFor(const std::string& kind) const {
    if (kind == "TRIGGER" || kind == "EVENT") return "the " + kind + " privilege";
    return server_.mariadb || server_.major < 8 ? "the SELECT privilege on mysql.proc"
                                                : "the SHOW_ROUTINE privilege";
}

void StoredObjects::readLists() {
    const Server& s = server_;
    auto atLeast = [&](int major, int minor, int release) {
        if (s.major != major) return s.major > major;
        if (s.minor != minor) return s.minor > minor;
        return s.release >= release;
    };
    auto item = [&](std::string kind, std::string_view name) {
        Item i{std::move(kind), std::string(name), SqlIdentifier::quotedIfNeeded(name)};
        return i;
    };
    auto warn = [&](const std::string& text) {
        if (warning_) warning_(text);
    };

    if (atLeast(5, 0, 10) && !atLeast(5, 1, 21)) {
        // No SHOW CREATE TRIGGER yet.
        MySqlQuery q(connection_);
        q.open("SELECT COUNT(*) FROM information_schema.TRIGGERS WHERE TRIGGER_SCHEMA = DATABASE()");
        if (q.next() && !q.isNull(0) && q.value(0) != "0")
            warn("Triggers are not dumped from servers before version 5.1.21");
    } else if (atLeast(5, 1, 21)) {
        if (!canList({"TRIGGER"}))
            warn("Triggers cannot be listed without the TRIGGER privilege; the dump may lack some");
        // Several triggers of one table and event fire in the order they were created.
        bool ordered = s.mariadb ? atLeast(10, 2, 3) : atLeast(5, 7, 2);
        MySqlQuery q(connection_);
        q.open(std::string("SELECT TRIGGER_NAME, EVENT_OBJECT_TABLE FROM information_schema.TRIGGERS WHERE "
                           "TRIGGER_SCHEMA = DATABASE() ORDER BY EVENT_OBJECT_TABLE, ") +
               (ordered ? "ACTION_ORDER" : "TRIGGER_NAME"));
        while (q.next()) triggers_[std::string(q.value(1))].push_back(item("TRIGGER", q.value(0)));
    }
    if (atLeast(5, 0, 0)) {
        // Any routine privilege on the database shows every routine in the list (a
        // text the user may not read then fails with its name); so does reading mysql.proc.
        bool all = canList({"EXECUTE", "ALTER ROUTINE", "CREATE ROUTINE"});
        if (!all && (s.mariadb || s.major < 8)) {
            try {
                connection_.execSql("SELECT 1 FROM mysql.proc LIMIT 0");
                all = true;
            } catch (const MySqlError& e) {
                if (e.isConnectionLost()) throw;
            }
        } else if (!all) {
            all = canList({"SELECT", "SHOW_ROUTINE"});
        }
        if (!all)
            warn("Stored procedures and functions cannot be listed without a privilege on routines or " +
                 privilegeFor("PROCEDURE") + "; the dump may lack some");
        MySqlQuery q(connection_);
        q.open(
            "SELECT ROUTINE_NAME, ROUTINE_TYPE FROM information_schema.ROUTINES WHERE ROUTINE_SCHEMA = "
            "DATABASE() ORDER BY ROUTINE_NAME");
        while (q.next()) {
            std::string name(q.value(0)), type(q.isNull(1) ? std::string_view() : q.value(1));
            const Kind* kind = kindOf(type);
            if (!kind || type == "TRIGGER" || type == "EVENT") {
                warn("The routine '" + name + "' of type '" + type + "' is not dumped: its type is unknown");
                continue;
            }
            routines_.push_back(item(type, name));
        }
        std::stable_sort(routines_.begin(), routines_.end(), [](const Item& a, const Item& b) {
            return kindOf(a.kind)->rank < kindOf(b.kind)->rank;
        });
    }
    if (atLeast(5, 1, 6)) {
        if (!canList({"EVENT"}))
            warn("Events cannot be listed without the EVENT privilege; the dump may lack some");
        MySqlQuery q(connection_);
        q.open(
            "SELECT EVENT_NAME FROM information_schema.EVENTS WHERE EVENT_SCHEMA = DATABASE() ORDER BY "
            "EVENT_NAME");
        while (q.next()) events_.push_back(item("EVENT", q.value(0)));
    }
}

const std::vector<StoredObjects::Item>& StoredObjects::triggersOf(const std::string& table) const {
    static const std::vector<Item> kNone;
    auto it = triggers_.find(table);
    return it == triggers_.end() ? kNone : it->second;
}

size_t StoredObjects::count() const {
    size_t n = routines_.size() + events_.size();
    for (const auto& [table, list] : triggers_) n += list.size();
    return n;
}

StoredObjects::Definition StoredObjects::read(const Item& item) {
    if (results_.empty()) {
        MySqlQuery q(connection_);
        q.open("SELECT @@SESSION.character_set_results");
        results_ = q.next() && !q.isNull(0) ? DumpScript::stringLiteral(q.value(0)) : "NULL";
    }
    // The bytes as they were written, not converted to the dump's character set:
    // the restore reads them back in the object's own character set.
    connection_.execSql("SET SESSION character_set_results = binary");
    struct Restore {
        MySqlConnection& connection;
        const std::string& results;
        ~Restore() {
            try {
                connection.execSql("SET SESSION character_set_results = " + results);
            } catch (...) {  // a lost connection fails the next statement anyway
            }
        }
    } restore{connection_, results_};

    const std::string what = lower(item.kind) + " '" + item.name + "'";
    const std::string refused =
        "Cannot read the definition of " + what + ": " + privilegeFor(item.kind) + " is needed";
    Definition d;
    bool found = false;
    try {
        MySqlQuery q(connection_);
        q.open("SHOW CREATE " + item.kind + " " + SqlIdentifier::quoted(item.name));
        if (q.next()) {
            for (size_t i = 0; i < q.fieldCount(); ++i) {
                const std::string& column = q.fields()[i].name;
                std::string value(q.isNull(i) ? std::string_view() : q.value(i));
                if (column == "sql_mode")
                    d.sqlMode = value;
                else if (column == "time_zone")
                    d.timeZone = value;
                else if (column == "character_set_client")
                    d.charsetClient = value;
                else if (column == "collation_connection")
                    d.collation = value;
                else if (column == "SQL Original Statement" || column.rfind("Create ", 0) == 0) {
                    found = !q.isNull(i) && !value.empty();
                    d.text = std::move(value);
                }
            }
        }
    } catch (const MySqlError& e) {
        if (isAccessDenied(e.errorNumber()))
            throw std::runtime_error(refused + " (" + serverMessage(e) + ")");
        throw;
    }
    if (!found) throw std::runtime_error(refused);
    if (d.text.find('\0') != std::string::npos)
        throw std::runtime_error("The definition of " + what + " holds a zero byte and cannot be written");
    if (item.kind == "EVENT" && d.timeZone.empty()) d.timeZone = "SYSTEM";
    return d;
}

void StoredObjects::write(DumpScript& script, const Item& item) {
    Definition d = read(item);
    const Kind* kind = kindOf(item.kind);
    bool event = item.kind == "EVENT";
    script.objectComment(kind->title, item.written);
    // Packages are known only under their own sql_mode, their DROP included; other
    // DROP lines keep the dump's character set, in which their names are written.
    bool package = kind->rank >= 2;
    if (!package) script.dropObjectLine(item.kind, item.written);
    script.objectSessionLines(d.charsetClient, d.collation, d.sqlMode, event ? d.timeZone : "");
    if (package) script.dropObjectLine(item.kind, item.written);
    script.delimitedStatement(d.text);
    script.objectSessionRestoreLines(event);
}

void StoredObjects::writeSequence(DumpScript& script, const std::string& name, const std::string& written) {
    std::string create, next, round;
    {
        MySqlQuery q(connection_);
        q.open("SHOW CREATE SEQUENCE " + SqlIdentifier::quoted(name));
        if (!q.next() || q.fieldCount() < 2 || q.isNull(1))
            throw std::runtime_error("No CREATE statement for sequence '" + name + "'");
        create = std::string(q.value(1));
    }
    {
        // The first value not handed out yet, cached ones included: the restored
        // sequence never repeats a value the source gave away.
        MySqlQuery q(connection_);
        q.open("SELECT next_not_cached_value, cycle_count FROM " + SqlIdentifier::quoted(name));
        if (q.next() && !q.isNull(0) && !q.isNull(1)) next = q.value(0), round = q.value(1);
        if (!isInteger(next) || !isInteger(round))
            throw std::runtime_error("No current value for sequence '" + name + "'");
    }
    script.objectComment("Sequence structure for sequence", written);
    // DROP TABLE removes a sequence, and a table of the same name as well.
    script.dropLine(written, false);
    script.createText(create);
    script.sequenceValueLine(written, next, round);
}

}  // namespace tharvel
