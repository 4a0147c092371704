#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dump/DumpCompressor.h"

namespace tharvel {

class MySqlConnection;
class DumpScript;
class DumpStream;
class StoredObjects;
class DumpSnapshot;

// Dumps a MySQL connection's database as an SQL script: tables (structure and
// rows), views, sequences, triggers, stored routines and events, all as of one moment.
class SqlDump {
public:
    // Object name, its number, the number of objects, the percent of its rows
    // written. May throw to stop the dump.
    using ProgressHandler =
        std::function<void(const std::string& objectName, int objectNum, int objectCount, int percent)>;
    // Something the dump could not do fully although the file is still sound (a kind
    // of object the user may not list, tables it may not lock). Called on the dump's thread.
    using WarningHandler = std::function<void(const std::string& text)>;

    struct Options {
        // Not owned; must stay open (or openable) for the whole run.
        MySqlConnection* connection = nullptr;
        // Further connections like `connection` (server, user, TLS, timeouts,
        // character set), opened; without it every table is read on `connection`.
        // With it, the rows of a whole database's tables are read on up to
        // `connections` connections at once, all in one snapshot, when the tables are
        // transactional, the user may take the brief global lock that starts the
        // snapshots together, and the database's second-largest table holds
        // `parallelMinBytes` of data or more. Tables read ahead of their turn wait in
        // files beside the dump file; the file is the same.
        std::function<std::unique_ptr<MySqlConnection>()> openConnection;
        int connections = 0;  // 0: the number of cores, at most 4
        uint64_t parallelMinBytes = uint64_t{16} << 20;
        ProgressHandler onProgress;
        WarningHandler onWarning;
    };

    explicit SqlDump(Options options);
    ~SqlDump();
    SqlDump(const SqlDump&) = delete;
    SqlDump& operator=(const SqlDump&) = delete;

    // Creates (or truncates) the file and writes the dump into it, compressed when
    // asked. The file keeps every line written before a failure; the failure reaches
    // the caller unchanged.
    void backupToFile(const std::filesystem::path& fileName, Compression compression = Compression::None);

private:
    struct Object {
        std::string name;     // as the server knows it
        std::string written;  // as the script and the statements write it
        bool view = false;
        bool sequence = false;
        std::string create;  // CREATE text read ahead (views), else empty
    };
    struct Version {
        int major = 0, minor = 0, release = 0;
    };

    // Where a table's lines go and what reads them.
    struct Lane {
        MySqlConnection& connection;
        std::function<void(const std::string& name, int index, int count, int percent)> progress;
    };

    void backup(DumpStream& out);
    void reportProgress(const std::string& objectName, int objectNum, int objectCount, int percent);
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

    Options options_;
    std::filesystem::path outputPath_;  // the file backupToFile writes, during its run
    Version version_;
    StoredObjects* stored_ = nullptr;  // during a run
    bool exactFloats_ = false;
    std::map<std::string, std::vector<Column>> columns_;
};

}  // namespace tharvel
