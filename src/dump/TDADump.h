#pragma once
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dump/DumpCompressor.h"

namespace tharvel {

class TDADump;
class DumpStream;

// Sender, ObjectName, ObjectNum, ObjectCount, Percent. May throw to stop the dump.
using TDABackupProgressEvent = std::function<void(TDADump& sender, const std::string& objectName,
                                                  int objectNum, int objectCount, int percent)>;

struct TDADumpOptions {
    virtual ~TDADumpOptions() = default;
    bool GenerateHeader = true;
    bool AddDrop = true;
    bool QuoteNames = false;
};

// Writes a whole database as an SQL script. The back-up itself is the subclass's.
class TDADump {
public:
    TDADump();
    virtual ~TDADump();
    TDADump(const TDADump&) = delete;
    TDADump& operator=(const TDADump&) = delete;

    // Objects to dump instead of every table and view of the database.
    std::vector<std::string>& TableNames() { return tableNames_; }
    std::string TableNamesText() const;        // joined with ";"
    void SetTableNamesText(std::string_view);  // split at ";" and ","

    bool Debug = false;
    TDADumpOptions& Options() { return *options_; }

    TDABackupProgressEvent OnBackupProgress;
    // Something the dump could not do fully although the file is still sound (a kind of
    // object the user may not list, tables it may not lock). Called on the dump's thread.
    std::function<void(const std::string&)> OnWarning;

    // Creates (or truncates) the file and writes the dump into it, compressed when
    // asked. The file keeps every line written before a failure; the failure reaches
    // the caller unchanged.
    void BackupToFile(const std::string& fileName, Compression compression = Compression::None);

    // A name as the dump writes it.
    virtual std::string QuoteName(std::string_view name) const;

protected:
    // Called by the constructor of each class that wants other options.
    void ReplaceOptions(std::unique_ptr<TDADumpOptions> options) { options_ = std::move(options); }
    virtual void Backup(DumpStream& out, const std::string& query) = 0;
    void FireProgress(const std::string& objectName, int objectNum, int objectCount, int percent);
    // The file BackupToFile writes, during its run.
    const std::string& OutputPath() const { return outputPath_; }

    char leftQuote_ = '"';
    char rightQuote_ = '"';

private:
    std::vector<std::string> tableNames_;
    std::string outputPath_;
    std::unique_ptr<TDADumpOptions> options_;
};

}  // namespace tharvel
