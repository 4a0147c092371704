#include "dump/SqlDump.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <ctime>
#include <map>
#include <memory>
#include <stdexcept>
#include <thread>

#include "dump/DumpPool.h"
#include "dump/DumpScript.h"
#include "dump/DumpSnapshot.h"
#include "dump/DumpStream.h"
#include "dump/SqlIdentifier.h"
#include "dump/SqlLiteral.h"
#include "dump/StoredObjects.h"
#include "mysql/MySqlConnection.h"
#include "mysql/MySqlError.h"
#include "mysql/MySqlQuery.h"

namespace tharvel {
namespace {

// The version the file header names, the same in every dump.
constexpr const char* kHeaderVersion = "5.55.0.39";

std::string scriptDate() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[128];
    const char* format = (local.tm_hour || local.tm_min || local.tm_sec) ? "%x %X" : "%x";
    size_t n = std::strftime(buf, sizeof buf, format, &local);
    return std::string(buf, n);
}

bool atLeast(int major, int minor, int release, int m, int n, int r) {
    if (major != m) return major > m;
    if (minor != n) return minor > n;
    return release >= r;
}

}  // namespace

SqlDump::SqlDump(Options options) : options_(std::move(options)) {}

SqlDump::~SqlDump() = default;

void SqlDump::backupToFile(const std::filesystem::path& fileName, Compression compression) {
    DumpStream out(fileName, compression);
    outputPath_ = fileName;
    struct Forget {
        std::filesystem::path& path;
        ~Forget() { path.clear(); }
    } forget{outputPath_};
    backup(out);  // on a failure the stream's destructor still writes the finished lines
    out.close();
}

void SqlDump::reportProgress(const std::string& objectName, int objectNum, int objectCount, int percent) {
    if (options_.onProgress) options_.onProgress(objectName, objectNum, objectCount, percent);
}

void SqlDump::backup(DumpStream& out) {
    if (!options_.connection) throw std::runtime_error("Connection is not defined");
    MySqlConnection& conn = *options_.connection;
    conn.open();
    columns_.clear();

    const std::string versionText = conn.serverVersionText();
    version_ = {conn.serverMajorVersion(), conn.serverMinorVersion(), conn.serverReleaseVersion()};
    const Version& v = version_;
    // MariaDB 10 and later announce themselves as "5.5.5-10.x.y-MariaDB".
    Version real = v;
    if (versionText.rfind("5.5.5-", 0) == 0 && versionText.find("MariaDB") != std::string::npos) {
        int parts[3] = {0, 0, 0};
        size_t at = 6;
        for (int& part : parts) {
            while (at < versionText.size() && std::isdigit(static_cast<unsigned char>(versionText[at])))
                part = part * 10 + (versionText[at++] - '0');
            if (at < versionText.size() && versionText[at] == '.') ++at;
        }
        real = {parts[0], parts[1], parts[2]};
    }
    const bool mariadb = versionText.find("MariaDB") != std::string::npos;
    // ST_AsBinary and POINT: MariaDB 10.1 and MySQL 5.6 on.
    exactFloats_ = real.major >= 10 || real.major >= 8 || (real.major == 5 && real.minor >= 6);

    // TIMESTAMP values are read in UTC, so an hour that a clock change repeats
    // keeps both of its instants, and the restore does not depend on the zone.
    std::vector<std::string> session;  // what further connections repeat
    if (atLeast(v.major, v.minor, v.release, 4, 1, 3)) session.push_back("SET TIME_ZONE='+00:00'");
    for (const std::string& sql : session) conn.execSql(sql);

    DumpScript script(out);
    script.header(kHeaderVersion, versionText, conn.clientVersionText(), scriptDate(), conn.server(),
                  conn.database());

    std::string charset = conn.options().useUnicode() ? "utf8" : conn.options().charset();
    // Three-byte utf8 turns every four-byte character into "?": read and restore in
    // utf8mb4 wherever the server has it.
    bool hasMb4 =
        mariadb ? atLeast(v.major, v.minor, 0, 5, 5, 0) : atLeast(v.major, v.minor, v.release, 5, 5, 3);
    if ((charset == "utf8" || charset == "utf8mb3") && hasMb4) {
        conn.execSql("SET NAMES utf8mb4");
        session.push_back("SET NAMES utf8mb4");
        charset = "utf8mb4";
    }
    if (!charset.empty()) script.charsetLines(charset);
    script.sessionLines();
    script.foreignKeyLine();

    // Databases and users are not part of this program's dumps. Stored objects,
    // snapshots and the information schema came with 5.0.
    const bool fiveOrLater = v.major >= 5;
    StoredObjects stored(conn, {mariadb, real.major, real.minor, real.release}, options_.onWarning);
    stored_ = &stored;
    struct Forget {
        StoredObjects*& stored;
        ~Forget() { stored = nullptr; }
    } forget{stored_};
    if (fiveOrLater) stored.readLists();
    // Every table read at one moment; the object list is read inside it.
    std::unique_ptr<DumpSnapshot> snapshot;
    std::vector<std::unique_ptr<MySqlConnection>> further;
    if (fiveOrLater) further = sharedSnapshot(session, mariadb, real, snapshot);
    if (fiveOrLater && !snapshot) snapshot = std::make_unique<DumpSnapshot>(conn, options_.onWarning);

    std::vector<Object> objects = objectList(v);
    orderViews(objects);
    // Sequences, tables (each followed by its triggers), routines, views, events:
    // each object exists before anything that needs it when it is created.
    const int count = static_cast<int>(objects.size() + stored.count());
    int j = 0;
    auto writeStored = [&](const std::vector<StoredObjects::Item>& items) {
        for (const StoredObjects::Item& item : items) {
            reportProgress(item.written, j, count, 0);
            stored.write(script, item);
            reportProgress(item.written, j, count, 0);
            script.emptyLine();
            ++j;
        }
    };
    const Lane lane{conn, [this](const std::string& name, int index, int n, int percent) {
                        reportProgress(name, index, n, percent);
                    }};
    // The base tables with rows go to the further connections too, in the file's order.
    std::vector<size_t> taskOf(objects.size(), SIZE_MAX), objectOf;
    if (!further.empty())
        for (size_t i = 0; i < objects.size(); ++i)
            if (!objects[i].view && !objects[i].sequence) {
                taskOf[i] = objectOf.size();
                objectOf.push_back(i);
            }
    std::unique_ptr<DumpPool> pool;
    if (!objectOf.empty()) {
        // A table read ahead shows the progress of the table whose turn it is.
        DumpPool::Work work = [this, &objects, &objectOf, count](size_t task, MySqlConnection& connection,
                                                                 DumpStream& spool,
                                                                 const std::function<void(int)>& progress) {
            const Lane own{connection, [&](const std::string&, int, int, int percent) { progress(percent); }};
            DumpScript spoolScript(spool);
            dumpObject(spoolScript, objects[objectOf[task]], 0, count, own);
        };
        DumpPool::Kill kill = [this, &conn](uint32_t id) {
            try {
                conn.kill(id);
            } catch (const MySqlError&) {
                // The dump's own connection is gone: another one ends the worker.
                std::unique_ptr<MySqlConnection> other = options_.openConnection();
                other->kill(id);
            }
        };
        pool = std::make_unique<DumpPool>(std::move(further), outputPath_, objectOf.size(), std::move(work),
                                          std::move(kill));
    }
    bool routinesDone = false;
    for (size_t i = 0; i < objects.size(); ++i) {
        Object& object = objects[i];
        if (object.view && !routinesDone) {
            writeStored(stored.routines());
            routinesDone = true;
        }
        int index = j++;
        reportProgress(object.written, index, count, 0);
        if (pool && taskOf[i] != SIZE_MAX && !pool->takeForCaller(taskOf[i])) {
            pool->join(
                taskOf[i], out, [&](int percent) { reportProgress(object.written, index, count, percent); },
                &conn);
        } else {
            dumpObject(script, object, index, count, lane);
        }
        script.emptyLine();
        if (!object.view && !object.sequence && fiveOrLater) writeStored(stored.triggersOf(object.name));
    }
    if (!routinesDone) writeStored(stored.routines());
    writeStored(stored.events());
    script.foreignKeyRestoreLine();
    script.sessionRestoreLines();
    if (!charset.empty()) script.charsetRestoreLines();
}

std::vector<std::unique_ptr<MySqlConnection>> SqlDump::sharedSnapshot(
    const std::vector<std::string>& session, bool mariadb, const Version& real,
    std::unique_ptr<DumpSnapshot>& snapshot) {
    MySqlConnection& conn = *options_.connection;
    std::vector<std::unique_ptr<MySqlConnection>> further;
    const std::function<std::unique_ptr<MySqlConnection>()>& open = options_.openConnection;
    if (!open || outputPath_.empty()) return further;
    const int wanted = options_.connections > 0
                           ? options_.connections
                           : static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    if (wanted <= 1) return further;
    std::vector<uint64_t> sizes;
    std::string untransactional;
    try {
        MySqlQuery q(conn);
        q.open(
            "SELECT t.TABLE_NAME, t.DATA_LENGTH, e.TRANSACTIONS FROM information_schema.TABLES t LEFT JOIN "
            "information_schema.ENGINES e ON e.ENGINE = t.ENGINE WHERE t.TABLE_SCHEMA = DATABASE() AND "
            "t.TABLE_TYPE NOT IN ('VIEW', 'SEQUENCE')");
        while (q.next()) {
            uint64_t size = 0;
            if (!q.isNull(1)) {
                std::string_view text = q.value(1);
                std::from_chars(text.data(), text.data() + text.size(), size);
            }
            sizes.push_back(size);
            if (untransactional.empty() && (q.isNull(2) || q.value(2) != "YES"))
                untransactional = std::string(q.value(0));
        }
    } catch (const MySqlError& e) {
        if (e.isConnectionLost()) throw;
        return further;  // a server without the tables of engines
    }
    if (sizes.size() < 2) return further;
    std::nth_element(sizes.begin(), sizes.begin() + 1, sizes.end(), std::greater<>());
    if (sizes[1] < options_.parallelMinBytes) return further;
    auto oneConnection = [&](const std::string& why) {
        if (options_.onWarning) options_.onWarning("Tables are dumped on one connection: " + why);
        return std::vector<std::unique_ptr<MySqlConnection>>();
    };
    if (!untransactional.empty())
        return oneConnection("table " + DumpScript::commentText(SqlIdentifier::quoted(untransactional)) +
                             " is not transactional, so a snapshot shared by several connections would not "
                             "hold for it");
    const size_t count = std::min(static_cast<size_t>(wanted - 1), sizes.size() - 1);
    try {
        while (further.size() < count) {
            std::unique_ptr<MySqlConnection> c = open();
            for (const std::string& sql : session) c->execSql(sql);
            further.push_back(std::move(c));
        }
    } catch (const MySqlError& e) {
        return oneConnection("a further connection cannot be opened (" + StoredObjects::serverMessage(e) +
                             ")");
    } catch (const std::exception& e) {
        return oneConnection(std::string("a further connection cannot be opened (") + e.what() + ")");
    }
    // Commits wait while the transactions start, so that they all see the same ones.
    // The lock is held on a connection of its own: the end of MariaDB's backup stages
    // (which block less than the global read lock) commits the session's transaction.
    // A lock that cannot be had soon (a long statement holds it up, and the
    // application's writes with it) is given up for the one connection.
    const bool stages = mariadb && atLeast(real.major, real.minor, real.release, 10, 4, 1);
    std::unique_ptr<MySqlConnection> holder;
    try {
        holder = open();
        try {
            holder->execSql("SET SESSION lock_wait_timeout = 10");
        } catch (const MySqlError& e) {
            if (e.isConnectionLost()) throw;  // older servers wait as they always do
        }
        if (stages) {
            holder->execSql("BACKUP STAGE START");
            holder->execSql("BACKUP STAGE BLOCK_COMMIT");
        } else {
            holder->execSql("FLUSH TABLES WITH READ LOCK");
        }
    } catch (const MySqlError& e) {
        return oneConnection("the snapshot cannot be shared (" + StoredObjects::serverMessage(e) + ")");
    } catch (const std::exception& e) {
        return oneConnection(std::string("the snapshot cannot be shared (") + e.what() + ")");
    }
    auto release = [&] { holder->execSql(stages ? "BACKUP STAGE END" : "UNLOCK TABLES"); };
    try {
        snapshot = std::make_unique<DumpSnapshot>(conn, options_.onWarning);
        if (snapshot->mode() != DumpSnapshot::Mode::Snapshot) {
            // A table changed its engine meanwhile: its locks must outlast the global one's release.
            snapshot.reset();
            release();
            snapshot = std::make_unique<DumpSnapshot>(conn, options_.onWarning);
            return std::vector<std::unique_ptr<MySqlConnection>>();
        }
        std::string failure;
        try {
            for (const auto& c : further) {
                c->execSql("SET SESSION TRANSACTION ISOLATION LEVEL REPEATABLE READ");
                c->execSql("START TRANSACTION WITH CONSISTENT SNAPSHOT");
            }
        } catch (const MySqlError& e) {
            failure = StoredObjects::serverMessage(e);
        }
        release();
        if (!failure.empty())
            return oneConnection("a further connection cannot start its snapshot (" + failure + ")");
    } catch (...) {
        try {
            release();
        } catch (...) {
        }
        throw;
    }
    return further;
}

std::vector<SqlDump::Object> SqlDump::objectList(const Version& v) {
    MySqlConnection& conn = *options_.connection;
    std::vector<Object> objects;
    MySqlQuery q(conn);
    if (v.major >= 5) {
        q.open(
            "SELECT cast('' as char(1)) TABLE_CATALOG, TABLE_SCHEMA, TABLE_NAME, TABLE_TYPE FROM "
            "information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() ORDER BY TABLE_SCHEMA, TABLE_NAME ");
        while (q.next()) {
            Object o;
            o.name = std::string(q.value(2));
            o.written = SqlIdentifier::quotedIfNeeded(o.name);
            o.view = !q.isNull(3) && q.value(3) == "VIEW";
            o.sequence = !q.isNull(3) && q.value(3) == "SEQUENCE";
            objects.push_back(std::move(o));
        }
        q.close();
        readColumns();
    } else if (!conn.database().empty()) {
        q.open("SHOW TABLES");
        while (q.next()) {
            Object o;
            o.name = std::string(q.value(0));
            o.written = SqlIdentifier::quotedIfNeeded(o.name);
            objects.push_back(std::move(o));
        }
    }
    return objects;
}

// Base tables first, then each view after the views it selects from, so that
// every CREATE VIEW finds what it uses.
void SqlDump::orderViews(std::vector<Object>& objects) {
    // Sequences before the tables whose defaults take their next values.
    std::stable_partition(objects.begin(), objects.end(), [](const Object& o) { return o.sequence; });
    std::stable_partition(objects.begin(), objects.end(), [](const Object& o) { return !o.view; });
    auto first = std::find_if(objects.begin(), objects.end(), [](const Object& o) { return o.view; });
    if (first == objects.end()) return;
    std::vector<Object> views(std::make_move_iterator(first), std::make_move_iterator(objects.end()));
    objects.erase(first, objects.end());
    for (Object& view : views) view.create = showCreate(*options_.connection, view.written);
    std::vector<bool> placed(views.size(), false);
    auto uses = [&](const Object& a, const Object& b) {
        return a.create.find(SqlIdentifier::quoted(b.name)) != std::string::npos;
    };
    for (size_t done = 0; done < views.size();) {
        size_t pick = views.size();
        for (size_t i = 0; i < views.size() && pick == views.size(); ++i) {
            if (placed[i]) continue;
            bool ready = true;
            for (size_t k = 0; k < views.size() && ready; ++k)
                if (k != i && !placed[k] && uses(views[i], views[k])) ready = false;
            if (ready) pick = i;
        }
        if (pick == views.size())  // names that only look like a cycle: keep list order
            pick = static_cast<size_t>(std::find(placed.begin(), placed.end(), false) - placed.begin());
        placed[pick] = true;
        objects.push_back(std::move(views[pick]));
        ++done;
    }
}

std::string SqlDump::showCreate(MySqlConnection& connection, const std::string& written) {
    MySqlQuery q(connection);
    q.open("SHOW CREATE TABLE " + written);
    if (!q.next() || q.fieldCount() < 2) throw std::runtime_error("No CREATE statement for " + written);
    return std::string(q.value(1));
}

void SqlDump::dumpObject(DumpScript& script, const Object& object, int index, int count, const Lane& lane) {
    if (object.sequence) {
        stored_->writeSequence(script, object.name, object.written);
        lane.progress(object.written, index, count, 0);
        return;
    }
    script.structureComment(object.written);
    script.dropLine(object.written, object.view);
    script.createText(object.create.empty() ? showCreate(lane.connection, object.written) : object.create);
    lane.progress(object.written, index, count, 0);
    if (object.view) return;
    script.dataComment(object.written);
    uint64_t rows = 0;
    {
        MySqlQuery q(lane.connection);
        q.open("SELECT COUNT(*) FROM " + object.written);
        if (q.next() && !q.isNull(0)) {
            std::string_view text = q.value(0);
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), rows);
            if (ec != std::errc() || end != text.data() + text.size())
                throw MySqlError(
                    CR_MALFORMED_PACKET,
                    MySqlError::buildMessage(CR_MALFORMED_PACKET, {}, "Row count of " + object.written));
        }
    }
    lane.progress(object.written, index, count, 0);
    if (rows == 0) return;
    // A default taken from a sequence opens the sequence on every INSERT, which a
    // restore holding only this table locked refuses.
    const bool lock = !usesSequence(object);
    if (lock) script.lockLine(object.written);
    dumpRows(script, object, index, count, rows, lane);
    if (lock) script.unlockLine();
}

bool SqlDump::usesSequence(const Object& object) const {
    auto it = columns_.find(object.name);
    if (it == columns_.end()) return false;
    return std::any_of(it->second.begin(), it->second.end(),
                       [](const Column& c) { return c.sequenceDefault; });
}

void SqlDump::readColumns() {
    MySqlQuery q(*options_.connection);
    q.open(
        "SELECT TABLE_NAME, COLUMN_NAME, DATA_TYPE, EXTRA, COLUMN_DEFAULT FROM information_schema.COLUMNS "
        "WHERE "
        "TABLE_SCHEMA = DATABASE() ORDER BY TABLE_NAME, ORDINAL_POSITION");
    auto upper = [&](size_t i) {
        std::string text(q.isNull(i) ? std::string_view() : q.value(i));
        for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return text;
    };
    while (q.next()) {
        Column c;
        c.name = std::string(q.value(1));
        std::string type = upper(2), extra = upper(3);
        c.single = type == "FLOAT";
        c.floating = c.single || type == "DOUBLE" || type == "REAL" || type == "DOUBLE PRECISION";
        c.generated = extra.find("VIRTUAL") != std::string::npos ||
                      extra.find("STORED") != std::string::npos ||
                      extra.find("PERSISTENT") != std::string::npos;
        c.invisible = extra.find("INVISIBLE") != std::string::npos;
        std::string def = upper(4);
        c.sequenceDefault = def.find("NEXTVAL(") != std::string::npos ||
                            def.find("LASTVAL(") != std::string::npos ||
                            def.find("NEXT VALUE FOR") != std::string::npos;
        columns_[std::string(q.value(0))].push_back(std::move(c));
    }
}

void SqlDump::dumpRows(DumpScript& script, const Object& object, int index, int count, uint64_t rows,
                       const Lane& lane) {
    // "SELECT *" misses invisible columns, and generated columns cannot be written:
    // such tables name their columns. FLOAT and DOUBLE are read exactly (see the literal).
    const std::vector<Column>* plan = nullptr;
    if (auto it = columns_.find(object.name); it != columns_.end()) plan = &it->second;
    bool named = false, floats = false;
    if (plan)
        for (const Column& c : *plan) {
            named = named || c.generated || c.invisible;
            floats = floats || (c.floating && exactFloats_);
        }
    std::string select = "*", list;
    std::vector<const Column*> selected;
    if (plan && (named || floats)) {
        select.clear();
        for (const Column& c : *plan) {
            if (c.generated) continue;
            std::string name = SqlIdentifier::quoted(c.name);
            if (!select.empty()) select.append(", ");
            if (c.floating && exactFloats_)
                select.append("ST_AsBinary(POINT(").append(name).append(", 0)) AS ").append(name);
            else
                select.append(name);
            if (named) list.append(list.empty() ? "" : ", ").append(name);
            selected.push_back(&c);
        }
    }

    MySqlQuery q(lane.connection);
    q.setReadAhead(true);  // the socket is read while the rows are written
    q.open("SELECT " + select + " FROM " + object.written);
    std::vector<SqlLiteral> literals;
    std::vector<bool> hex;
    literals.reserve(q.fieldCount());
    for (size_t i = 0; i < q.fieldCount(); ++i) {
        const FieldInfo& f = q.fields()[i];
        const Column* c = i < selected.size() ? selected[i] : nullptr;
        if (c && c->floating && exactFloats_) {
            literals.emplace_back(f.name, c->single ? FieldType::Float : FieldType::Double, 0, 22, true,
                                  version_.major);
            literals.back().readFloatFromWkb(c->single);
            hex.push_back(false);
            continue;
        }
        literals.emplace_back(f.name, f.type, static_cast<uint32_t>(f.flags),
                              std::min<uint32_t>(f.length, 65535), !f.table.empty(), version_.major);
        SqlValueKind kind = literals.back().kind();
        // Binary strings always go as hexadecimal: raw bytes inside quotes can pair
        // with the quote or backslash after them in a multi-byte client character set
        // (gbk: 0x81 0x5C) and end the literal early.
        hex.push_back(f.charset == 63 && (kind == SqlValueKind::ShortText || kind == SqlValueKind::LongText));
    }
    script.beginRows(DumpScript::insertHead(object.written, list));
    const size_t n = q.fieldCount();
    try {
        uint64_t r = 0;
        while (q.next()) {
            ++r;
            script.endRow(false);  // another row follows: the previous one is complete
            lane.progress(object.written, index, count,
                          static_cast<int>(std::min<uint64_t>(100, r * 100 / rows)));
            std::string& line = script.beginRow();
            for (size_t i = 0; i < n; ++i) {
                if (i) line.append(", ", 2);
                if (q.isNull(i))
                    SqlLiteral::appendNull(line);
                else if (hex[i])
                    SqlLiteral::appendHex(line, q.value(i));
                else
                    literals[i].append(line, q.value(i));
            }
            script.finishRow();
        }
        script.endRow(true);
    } catch (...) {
        script.abandonRows();
        throw;
    }
}

}  // namespace tharvel
