#pragma once
#include <functional>
#include <string>

namespace tharvel {

class MySqlConnection;

// Makes the dump read the whole database as it was at one moment. With only
// transactional tables a consistent-snapshot transaction does it without blocking
// anyone's writes; otherwise every table, view and sequence of the database is
// locked for reading until the dump ends. A user who may not lock gets the snapshot
// alone and a warning. The session's isolation level is put back at the end.
class DumpSnapshot {
public:
    enum class Mode { None, Snapshot, Locks };
    using Warning = std::function<void(const std::string&)>;

    // Starts at once.
    DumpSnapshot(MySqlConnection& connection, const Warning& warning);
    ~DumpSnapshot();
    DumpSnapshot(const DumpSnapshot&) = delete;
    DumpSnapshot& operator=(const DumpSnapshot&) = delete;

    Mode mode() const { return mode_; }

private:
    void startSnapshot();

    MySqlConnection& connection_;
    Mode mode_ = Mode::None;
    std::string isolationVariable_;
    std::string savedIsolation_;  // e.g. "REPEATABLE READ"; empty: not changed
};

}  // namespace tharvel
