#pragma once
// ProjectTable: the in-memory table of backup projects.
//
// Rows of eleven columns (ProjectColumn, in file order) and the optional settings after
// them, each holding a ProjectValue: empty, text (UTF-8), a 64-bit integer or a
// date-time. Setting an empty text stores an empty value, so "empty" always means
// "no value"; an empty optional setting means its default.
//
// The table has a current row and a state:
//   Browsing   the stored rows are shown; value() reads the current row.
//   Editing    edit() copied the current row into the edit buffer; setValue()
//              changes the buffer, post() writes it back, cancel() drops it.
//   Inserting  append()/insert() started a new row in the buffer; post() stores it
//              (at the end, or before the row that was current), cancel() drops it.
// While editing or inserting, value() reads the buffer and currentIndex() is the
// index the buffered row has (or will have) among the stored rows. rowCount()
// counts stored rows only, so while inserting currentIndex() may equal rowCount().
//
// Rules the callers rely on:
// - setValue() needs Editing or Inserting (std::logic_error otherwise).
// - Every operation that needs browsing (append, insert, first/next/prior/last,
//   moveTo) first ends a pending edit: it posts the buffer when modified() and
//   drops it otherwise. When that post is refused (a beforePost listener throws),
//   the exception passes out and the operation does nothing else.
// - edit() on a table without rows starts inserting instead (like append()) and
//   raises no afterEdit. edit() while already editing or inserting does nothing.
// - remove() drops a pending insert (nothing stored changes, no afterDelete), or
//   drops a pending edit and deletes the current row; then the next row (or the
//   new last one) becomes current and afterScroll runs.
// - post() outside Editing/Inserting does nothing. A beforePost listener may change
//   the buffer with setValue() and may refuse the post by throwing; the row then
//   stays in its state, with the listener's changes kept in the buffer.
//
// Notifications (each a list of listeners, called in the order they connected;
// a listener may call back into the table):
//   beforePost   before a buffer is written; throwing (PostRefused) refuses it.
//   afterPost    after a buffer was written; the table is browsing again.
//   afterEdit    after browsing turned into Editing (not for inserts).
//   afterScroll  after the current row changed: a move to another row, append or
//                insert (the new row is current), a cancelled insert, a delete.
//   afterDelete  after a stored row was deleted.
//
// Tag is an integer mark: 0 normally, 1 while the project file is written or
// loaded (ProjectRules saves after a post only while it is 0).
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace tharvel {

enum class ProjectColumn {
    Project,
    MySQLServer,
    MySQLPort,
    MySQLDataBase,
    MySQLUser,
    MySQLPassword,
    MySQLNewBackupEachDay,
    FilesDirectory,
    BackupDirectory,
    SkipFiles,
    LastBackup,
    // Optional settings: empty means the default, and only non-empty ones are
    // written to the project file.
    MySQLTLS,         // off, preferred (the default), required, verify
    MySQLTLSCA,       // CA file; empty: the system's store
    DumpCompression,  // none (the default), gzip, zstd
    KeepDailyDumps,   // newest dated dumps kept; empty or 0: all
};
inline constexpr int kProjectColumnCount = 15;
// The first optional column; those before it are always written.
inline constexpr int kFirstOptionalColumn = 11;

// The column's name as written in the project file ("MySQLServer", ...).
std::string_view columnName(ProjectColumn column);
// The column with that exact (case-sensitive) name.
std::optional<ProjectColumn> columnFromName(std::string_view name);
inline ProjectColumn columnAt(int index) {
    return static_cast<ProjectColumn>(index);
}
inline int columnIndex(ProjectColumn column) {
    return static_cast<int>(column);
}

using ProjectDateTime = std::chrono::system_clock::time_point;

class ProjectValue {
public:
    ProjectValue() = default;
    ProjectValue(std::string text);  // an empty text gives an empty value
    ProjectValue(const char* text) : ProjectValue(std::string(text)) {}
    ProjectValue(std::int64_t number) : value_(number) {}
    ProjectValue(int number) : value_(static_cast<std::int64_t>(number)) {}
    ProjectValue(ProjectDateTime when) : value_(when) {}

    bool isEmpty() const { return std::holds_alternative<std::monostate>(value_); }
    bool isText() const { return std::holds_alternative<std::string>(value_); }
    bool isInteger() const { return std::holds_alternative<std::int64_t>(value_); }
    bool isDateTime() const { return std::holds_alternative<ProjectDateTime>(value_); }

    // The held value; only valid for the matching kind.
    const std::string& text() const { return std::get<std::string>(value_); }
    std::int64_t integer() const { return std::get<std::int64_t>(value_); }
    ProjectDateTime dateTime() const { return std::get<ProjectDateTime>(value_); }

    // The value as text: text unchanged, integers in decimal, a date-time in the
    // locale's default date-and-time form (LC_TIME of the environment), empty as "".
    std::string toText() const;

    // 32-bit integer conversion: integers in range, decimal text (blanks around it
    // allowed); `fallback` for an empty value, 0 for anything else.
    std::int32_t toInt32(std::int32_t fallback) const;

    bool operator==(const ProjectValue& other) const = default;

private:
    std::variant<std::monostate, std::string, std::int64_t, ProjectDateTime> value_;
};

// Decimal integer of a text with blanks and control characters around it, or
// nothing when it is not one (sign allowed, 64-bit range).
std::optional<std::int64_t> parseInteger(std::string_view text);

// Thrown by a beforePost listener to refuse a post; the message is meant for the
// user ("Project Name is missing").
class PostRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ProjectTable {
public:
    enum class State { Browsing, Editing, Inserting };
    using Row = std::array<ProjectValue, kProjectColumnCount>;
    using Listener = std::function<void(ProjectTable&)>;

    // A list of listeners. connect() returns an id for disconnect().
    class Notification {
    public:
        int connect(Listener listener);
        void disconnect(int id);
        void notify(ProjectTable& table) const;

    private:
        std::vector<std::pair<int, Listener>> listeners_;
        int nextId_ = 1;
    };

    Notification beforePost;
    Notification afterPost;
    Notification afterEdit;
    Notification afterScroll;
    Notification afterDelete;

    ProjectTable() = default;
    ProjectTable(const ProjectTable&) = delete;
    ProjectTable& operator=(const ProjectTable&) = delete;

    State state() const { return state_; }
    bool isEditingOrInserting() const { return state_ != State::Browsing; }
    int rowCount() const { return static_cast<int>(rows_.size()); }
    bool isEmpty() const { return rows_.empty(); }
    // Index of the current row; -1 when there is none (browsing an empty table).
    int currentIndex() const { return current_; }
    // True when setValue() changed the buffer since edit/insert began.
    bool modified() const { return modified_; }

    // The current row's value (the buffer while editing or inserting); an empty
    // value when there is no current row.
    const ProjectValue& value(ProjectColumn column) const;
    // The current row (buffer while editing or inserting); all empty without one.
    const Row& currentRow() const;
    // A stored row, 0 <= index < rowCount().
    const Row& row(int index) const { return rows_.at(static_cast<size_t>(index)); }

    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }

    void setValue(ProjectColumn column, ProjectValue value);

    void append();  // new row at the end
    void insert();  // new row before the current one
    void edit();
    void post();
    void cancel();
    void remove();  // delete the current row

    // Moves; each ends a pending edit first. Indexes count a row being inserted at
    // currentIndex(); a target past either end is clamped. Return whether the
    // current row changed (afterScroll ran).
    bool first();
    bool last();
    bool next();
    bool prior();
    bool moveTo(int index);

    // Ends a pending edit: posts when modified, cancels otherwise.
    void checkBrowseMode();

private:
    void beginInsert(int position);
    void dropBuffer();
    bool moveToIndex(int index);

    std::vector<Row> rows_;
    Row buffer_{};
    State state_ = State::Browsing;
    int current_ = -1;
    int beforeInsert_ = -1;  // current row when the insert began
    bool modified_ = false;
    int tag_ = 0;
};

// RAII: sets a table's Tag for a scope and restores the previous one.
class TagGuard {
public:
    TagGuard(ProjectTable& table, int tag) : table_(table), previous_(table.tag()) { table_.setTag(tag); }
    ~TagGuard() { table_.setTag(previous_); }
    TagGuard(const TagGuard&) = delete;
    TagGuard& operator=(const TagGuard&) = delete;

private:
    ProjectTable& table_;
    int previous_;
};

}  // namespace tharvel
