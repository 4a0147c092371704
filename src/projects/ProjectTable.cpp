#include "projects/ProjectTable.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <iomanip>
#include <limits>
#include <locale>
#include <sstream>
#include <stdexcept>

#include "platform/Text.h"

namespace tharvel {
namespace {

constexpr std::array<std::string_view, kProjectColumnCount> kColumnNames = {
    "Project",
    "MySQLServer",
    "MySQLPort",
    "MySQLDataBase",
    "MySQLUser",
    "MySQLPassword",
    "MySQLNewBackupEachDay",
    "FilesDirectory",
    "BackupDirectory",
    "SkipFiles",
    "LastBackup",
    "MySQLTLS",
    "MySQLTLSCA",
    "DumpCompression",
    "KeepDailyDumps",
};

const std::locale& timeLocale() {
    static const std::locale locale = [] {
        try {
            return std::locale(std::locale::classic(), std::locale(""), std::locale::time);
        } catch (const std::exception&) {
            return std::locale::classic();
        }
    }();
    return locale;
}

const ProjectTable::Row& emptyRow() {
    static const ProjectTable::Row row{};
    return row;
}

}  // namespace

std::string_view columnName(ProjectColumn column) {
    return kColumnNames.at(static_cast<size_t>(column));
}

std::optional<ProjectColumn> columnFromName(std::string_view name) {
    for (int i = 0; i < kProjectColumnCount; ++i)
        if (kColumnNames[static_cast<size_t>(i)] == name) return columnAt(i);
    return std::nullopt;
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
    text = trimBlanks(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+') return std::nullopt;
    std::int64_t result = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), result);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return result;
}

ProjectValue::ProjectValue(std::string text) {
    if (!text.empty()) value_ = std::move(text);
}

std::string ProjectValue::toText() const {
    if (isText()) return text();
    if (isInteger()) return std::to_string(integer());
    if (isDateTime()) {
        std::time_t seconds = std::chrono::system_clock::to_time_t(dateTime());
        std::tm local{};
        localtime_r(&seconds, &local);
        std::ostringstream out;
        out.imbue(timeLocale());
        out << std::put_time(&local, "%c");
        return out.str();
    }
    return {};
}

std::int32_t ProjectValue::toInt32(std::int32_t fallback) const {
    std::optional<std::int64_t> number;
    if (isEmpty()) return fallback;
    if (isInteger()) number = integer();
    if (isText()) number = parseInteger(text());
    if (!number || *number < std::numeric_limits<std::int32_t>::min() ||
        *number > std::numeric_limits<std::int32_t>::max())
        return 0;
    return static_cast<std::int32_t>(*number);
}

int ProjectTable::Notification::connect(Listener listener) {
    listeners_.emplace_back(nextId_, std::move(listener));
    return nextId_++;
}

void ProjectTable::Notification::disconnect(int id) {
    std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

void ProjectTable::Notification::notify(ProjectTable& table) const {
    // A copy, so that listeners may connect or disconnect while being called.
    auto listeners = listeners_;
    for (auto& [id, listener] : listeners) listener(table);
}

const ProjectValue& ProjectTable::value(ProjectColumn column) const {
    return currentRow()[static_cast<size_t>(column)];
}

const ProjectTable::Row& ProjectTable::currentRow() const {
    if (state_ != State::Browsing) return buffer_;
    if (current_ < 0) return emptyRow();
    return rows_[static_cast<size_t>(current_)];
}

void ProjectTable::setValue(ProjectColumn column, ProjectValue value) {
    if (state_ == State::Browsing) throw std::logic_error("The project table is not being edited");
    buffer_.at(static_cast<size_t>(column)) = std::move(value);
    modified_ = true;
}

void ProjectTable::checkBrowseMode() {
    if (state_ == State::Browsing) return;
    if (modified_)
        post();
    else
        cancel();
}

void ProjectTable::beginInsert(int position) {
    beforeInsert_ = current_;
    buffer_ = Row{};
    modified_ = false;
    state_ = State::Inserting;
    current_ = position;
    afterScroll.notify(*this);
}

void ProjectTable::append() {
    checkBrowseMode();
    beginInsert(rowCount());
}

void ProjectTable::insert() {
    checkBrowseMode();
    beginInsert(current_ < 0 ? 0 : current_);
}

void ProjectTable::edit() {
    if (state_ != State::Browsing) return;
    if (rows_.empty()) {
        beginInsert(0);
        return;
    }
    buffer_ = rows_[static_cast<size_t>(current_)];
    modified_ = false;
    state_ = State::Editing;
    afterEdit.notify(*this);
}

void ProjectTable::post() {
    if (state_ == State::Browsing) return;
    beforePost.notify(*this);
    if (state_ == State::Inserting)
        rows_.insert(rows_.begin() + current_, buffer_);
    else
        rows_[static_cast<size_t>(current_)] = buffer_;
    dropBuffer();
    afterPost.notify(*this);
}

void ProjectTable::dropBuffer() {
    buffer_ = Row{};
    modified_ = false;
    state_ = State::Browsing;
}

void ProjectTable::cancel() {
    if (state_ == State::Browsing) return;
    bool wasInsert = state_ == State::Inserting;
    dropBuffer();
    if (wasInsert) {
        current_ = rows_.empty() ? -1 : std::min(std::max(beforeInsert_, 0), rowCount() - 1);
        afterScroll.notify(*this);
    }
}

void ProjectTable::remove() {
    if (state_ == State::Inserting) {
        cancel();
        return;
    }
    if (state_ == State::Editing) dropBuffer();
    if (current_ < 0) return;
    rows_.erase(rows_.begin() + current_);
    if (current_ >= rowCount()) current_ = rowCount() - 1;
    afterDelete.notify(*this);
    afterScroll.notify(*this);
}

bool ProjectTable::moveToIndex(int index) {
    int before = current_;
    bool wasInsert = state_ == State::Inserting;
    if (state_ != State::Browsing) {
        if (modified_) {
            post();
        } else {
            dropBuffer();
            if (wasInsert && index > before) --index;  // the new row has gone
        }
    }
    current_ = rows_.empty() ? -1 : std::clamp(index, 0, rowCount() - 1);
    // Ending an insert changes which row is current even at the same index.
    bool changed = current_ != before || wasInsert;
    if (changed) afterScroll.notify(*this);
    return changed;
}

bool ProjectTable::first() {
    return moveToIndex(0);
}
bool ProjectTable::last() {
    return moveToIndex(rowCount() - 1);
}

bool ProjectTable::next() {
    return moveToIndex(current_ + 1);
}

bool ProjectTable::prior() {
    return moveToIndex(current_ - 1);
}

bool ProjectTable::moveTo(int index) {
    return moveToIndex(index);
}

}  // namespace tharvel
