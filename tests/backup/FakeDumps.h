#pragma once
// Database steps for jobs whose dump does not matter to the test: the real dump
// needs a server; these report progress the way a dump does.
#include "backup/BackupJob.h"

namespace tharvel::test {

// Reports progress until it is stopped, as a long dump does.
class EndlessDump : public BackupJob {
public:
    using BackupJob::BackupJob;
    static std::shared_ptr<BackupJob> create(const BackupProject& r, std::shared_ptr<NotificationQueue> q) {
        return std::shared_ptr<BackupJob>(new EndlessDump(r, std::move(q)));
    }
    // Its step must not run on while it is torn down.
    ~EndlessDump() override {
        terminate();
        join();
    }

protected:
    std::filesystem::path backupDatabase() override {
        lastDumpPercent_ = -1;
        for (int i = 0;; ++i) dumpProgress("t", 0, 1, i % 2);
    }
};

// Reports a fixed series of dump progress events, then succeeds.
class ScriptedDump : public BackupJob {
public:
    using BackupJob::BackupJob;
    static std::shared_ptr<BackupJob> create(const BackupProject& r, std::shared_ptr<NotificationQueue> q) {
        return std::shared_ptr<BackupJob>(new ScriptedDump(r, std::move(q)));
    }

protected:
    std::filesystem::path backupDatabase() override {
        lastDumpPercent_ = -1;
        dumpProgress("a", 0, 4, 0);
        dumpProgress("a", 0, 4, 0);  // same percent: nothing posted
        dumpProgress("b", 1, 4, 50);
        dumpProgress("d", 3, 4, 100);
        return projectFolder().string() + project().mysqlDatabase + ".sql";
    }
};

}  // namespace tharvel::test
