#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dump/TDADump.h"

namespace tharvel {

class MySqlConnection;
class DumpScript;
class StoredObjects;
class DumpSnapshot;

enum class TMyDumpObject { doDatabase, doUsers, doStoredProcs, doTables, doData, doViews };
using TMyDumpObjects = std::set<TMyDumpObject>;

struct TMyDumpOptions : TDADumpOptions {
    bool AddLock = true;
    bool CompleteInsert = false;
    bool DisableKeys = false;
    bool HexBlob = false;  // binary strings are written in hexadecimal whatever it says
    bool UseExtSyntax = true;
    bool UseDelayedIns = false;
};

// Dumps a MySQL connection's database: tables (structure and rows), views,
// sequences, triggers, stored routines and events, all as of one moment.
class TMyDump : public TDADump {
public:
    static constexpr const char* kComponentVersion = "5.55.0.39";

    TMyDump();

    // Not owned; must stay open (or openable) for the whole run.
    MySqlConnection* Connection = nullptr;
    // doStoredProcs: stored routines and events; triggers and sequences come with doTables.
    TMyDumpObjects Objects{TMyDumpObject::doStoredProcs, TMyDumpObject::doTables, TMyDumpObject::doData,
                           TMyDumpObject::doViews};
    std::vector<std::string> StoredProcNames;

    // Further connections like Connection (server, user, TLS, timeouts, character
    // set), opened; without it every table is read on Connection. With it, the rows of
    // a whole database's tables are read on up to `Connections` connections at once,
    // all in one snapshot, when the tables are transactional, the user may take the
    // brief global lock that starts the snapshots together, and the database's
    // second-largest table holds `ParallelMinBytes` of data or more. Tables read ahead
    // of their turn wait in files beside the dump file; the file is the same.
    std::function<std::unique_ptr<MySqlConnection>()> OpenConnection;
    int Connections = 0;  // 0: the number of cores, at most 4
    uint64_t ParallelMinBytes = uint64_t{16} << 20;

    TMyDumpOptions& Options() { return static_cast<TMyDumpOptions&>(TDADump::Options()); }

    // Qualified names ("db.table") split at full stops; backticks for parts that need them.
    std::string QuoteName(std::string_view name) const override;

protected:
    void Backup(DumpStream& out, const std::string& query) override;

private:
    struct Object {
        std::string name;     // as the server knows it (or as given in TableNames)
        std::string written;  // as the script and the statements write it
        bool view = false;
        bool sequence = false;
        std::string create;     // CREATE text read ahead (views), else empty
        std::string tablePart;  // for a name qualified with another database: `table`
    };
    struct Version {
        int major = 0, minor = 0, release = 0;
    };

    // Where a table's lines go and what reads them.
    struct Lane {
        MySqlConnection& connection;
        std::function<void(const std::string& name, int index, int count, int percent)> progress;
    };

    bool has(TMyDumpObject o) const { return Objects.count(o) != 0; }
    // The further connections, each in a transaction that sees what `snapshot` (made
    // here too) sees; none when the tables are read on the one connection.
    std::vector<std::unique_ptr<MySqlConnection>> sharedSnapshot(const std::vector<std::string>& session,
                                                                 bool mariadb, const Version& real,
                                                                 std::unique_ptr<DumpSnapshot>& snapshot);
    std::vector<Object> objectList(const Version& v);
    void orderViews(std::vector<Object>& objects);
    void dumpObject(DumpScript& script, const Object& object, int index, int count, const Lane& lane);
    void dumpRows(DumpScript& script, const Object& object, int index, int count, uint64_t rows,
                  const Lane& lane);
    static std::string showCreate(MySqlConnection& connection, const std::string& written);

    struct Column {
        std::string name;
        bool floating = false;  // FLOAT or DOUBLE
        bool single = false;    // FLOAT
        bool generated = false;
        bool invisible = false;
        bool sequenceDefault = false;  // DEFAULT NEXTVAL(...) and the like
    };
    void readColumns();
    bool usesSequence(const Object& object) const;

    Version version_;
    StoredObjects* stored_ = nullptr;  // during a run
    bool exactFloats_ = false;
    std::map<std::string, std::vector<Column>> columns_;
};

}  // namespace tharvel
