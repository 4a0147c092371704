#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "dump/TDADump.h"

namespace tharvel {

class TMyConnection;
class TDumpScript;
class TMyDumpStoredObjects;

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
    TMyConnection* Connection = nullptr;
    // doStoredProcs: stored routines and events; triggers and sequences come with doTables.
    TMyDumpObjects Objects{TMyDumpObject::doStoredProcs, TMyDumpObject::doTables, TMyDumpObject::doData,
                           TMyDumpObject::doViews};
    std::vector<std::string> StoredProcNames;

    TMyDumpOptions& Options() { return static_cast<TMyDumpOptions&>(TDADump::Options()); }

    // Qualified names ("db.table") split at full stops; backticks for parts that need them.
    std::string QuoteName(std::string_view name) const override;

protected:
    void Backup(TDumpStream& out, const std::string& query) override;

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

    bool has(TMyDumpObject o) const { return Objects.count(o) != 0; }
    std::vector<Object> objectList(const Version& v);
    void orderViews(std::vector<Object>& objects);
    void dumpObject(TDumpScript& script, Object& object, int index, int count);
    void dumpRows(TDumpScript& script, const Object& object, int index, int count, uint64_t rows);
    std::string showCreate(const std::string& written);

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
    TMyDumpStoredObjects* stored_ = nullptr;  // during a run
    bool exactFloats_ = false;
    std::map<std::string, std::vector<Column>> columns_;
};

}  // namespace tharvel
