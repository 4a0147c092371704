#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "projects/ProjectTable.h"

using tharvel::PostRefused;
using tharvel::ProjectColumn;
using tharvel::ProjectTable;
using tharvel::ProjectValue;

namespace {

// Records notifications in order, as "post<", "post>", "edit", "scroll", "delete".
struct Recorder {
    explicit Recorder(ProjectTable& table) {
        table.beforePost.connect([this](ProjectTable&) { events.push_back("post<"); });
        table.afterPost.connect([this](ProjectTable&) { events.push_back("post>"); });
        table.afterEdit.connect([this](ProjectTable&) { events.push_back("edit"); });
        table.afterScroll.connect(
            [this](ProjectTable& t) { events.push_back("scroll" + std::to_string(t.currentIndex())); });
        table.afterDelete.connect([this](ProjectTable&) { events.push_back("delete"); });
    }
    std::vector<std::string> take() { return std::exchange(events, {}); }
    std::vector<std::string> events;
};

void addRows(ProjectTable& table, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        table.append();
        table.setValue(ProjectColumn::Project, name);
        table.post();
    }
}

std::string name(const ProjectTable& table) {
    return table.value(ProjectColumn::Project).toText();
}

using Events = std::vector<std::string>;

}  // namespace

TEST(ProjectValue, KindsAndConversions) {
    EXPECT_TRUE(ProjectValue("").isEmpty());
    EXPECT_TRUE(ProjectValue(std::string()).isEmpty());
    EXPECT_EQ(ProjectValue("x").toText(), "x");
    EXPECT_EQ(ProjectValue(3306).toText(), "3306");
    EXPECT_EQ(ProjectValue(std::int64_t{-5}).toText(), "-5");
    EXPECT_FALSE(ProjectValue(std::chrono::system_clock::now()).toText().empty());

    struct Case {
        ProjectValue value;
        std::int32_t fallback, expected;
    };
    for (const Case& c : std::vector<Case>{{ProjectValue(), 1, 1},
                                           {ProjectValue(), 0, 0},
                                           {ProjectValue(2), 1, 2},
                                           {ProjectValue(" 2 "), 1, 2},
                                           {ProjectValue("-7"), 1, -7},
                                           {ProjectValue("abc"), 1, 0},
                                           {ProjectValue("1.5"), 1, 0},
                                           {ProjectValue(std::int64_t{1} << 40), 1, 0},
                                           {ProjectValue(std::chrono::system_clock::now()), 1, 0}}) {
        EXPECT_EQ(c.value.toInt32(c.fallback), c.expected) << c.value.toText();
    }
    EXPECT_EQ(tharvel::parseInteger("+12"), 12);
    EXPECT_EQ(tharvel::parseInteger("\t-3\r"), -3);
    EXPECT_FALSE(tharvel::parseInteger("++1"));
    EXPECT_FALSE(tharvel::parseInteger(""));
    EXPECT_FALSE(tharvel::parseInteger("99999999999999999999"));
}

TEST(ProjectTable, ColumnNamesInFileOrder) {
    const char* names[] = {"Project",
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
                           "KeepDailyDumps"};
    static_assert(std::size(names) == tharvel::kProjectColumnCount);
    for (int i = 0; i < tharvel::kProjectColumnCount; ++i) {
        EXPECT_EQ(tharvel::columnName(tharvel::columnAt(i)), names[i]);
        EXPECT_EQ(tharvel::columnFromName(names[i]), tharvel::columnAt(i));
    }
    EXPECT_FALSE(tharvel::columnFromName("skipfiles"));
}

TEST(ProjectTable, EditOnEmptyTableStartsInsertingWithoutAfterEdit) {
    ProjectTable table;
    Recorder events(table);
    EXPECT_THROW(table.setValue(ProjectColumn::Project, "a"), std::logic_error);
    table.edit();
    EXPECT_EQ(table.state(), ProjectTable::State::Inserting);
    EXPECT_EQ(events.take(), (Events{"scroll0"}));
    table.setValue(ProjectColumn::Project, "a");
    table.post();
    EXPECT_EQ(table.rowCount(), 1);
    EXPECT_EQ(events.take(), (Events{"post<", "post>"}));

    table.edit();
    EXPECT_EQ(table.state(), ProjectTable::State::Editing);
    table.edit();  // already editing: nothing
    EXPECT_EQ(events.take(), (Events{"edit"}));
    table.setValue(ProjectColumn::Project, "b");
    EXPECT_EQ(name(table), "b");
    EXPECT_EQ(table.row(0)[0].toText(), "a");
    table.cancel();
    EXPECT_EQ(name(table), "a");
    EXPECT_EQ(events.take(), Events{});
}

TEST(ProjectTable, MovingEndsAPendingEdit) {
    ProjectTable table;
    addRows(table, {"a", "b", "c"});
    Recorder events(table);

    // Changed: posted, then moved.
    table.first();
    events.take();
    table.edit();
    table.setValue(ProjectColumn::MySQLUser, "u");
    EXPECT_TRUE(table.next());
    EXPECT_EQ(table.row(0)[4].toText(), "u");
    EXPECT_EQ(events.take(), (Events{"edit", "post<", "post>", "scroll1"}));

    // Unchanged: dropped without a post.
    table.edit();
    EXPECT_TRUE(table.last());
    EXPECT_EQ(events.take(), (Events{"edit", "scroll2"}));
    EXPECT_FALSE(table.next());
    EXPECT_TRUE(table.prior());
    EXPECT_EQ(table.currentIndex(), 1);
    EXPECT_FALSE(table.moveTo(1));
    EXPECT_TRUE(table.moveTo(99));
    EXPECT_EQ(table.currentIndex(), 2);

    // An unchanged new row goes away; the index counts it where it stood.
    table.first();
    table.insert();
    EXPECT_EQ(table.currentIndex(), 0);
    table.moveTo(2);
    EXPECT_EQ(name(table), "b");
    EXPECT_EQ(table.rowCount(), 3);
}

TEST(ProjectTable, RefusedPostStopsTheOperation) {
    ProjectTable table;
    addRows(table, {"a", "b"});
    table.beforePost.connect([](ProjectTable& t) {
        t.setValue(ProjectColumn::SkipFiles, 1);
        if (t.value(ProjectColumn::Project).isEmpty()) throw PostRefused("no name");
    });
    table.first();
    table.edit();
    table.setValue(ProjectColumn::Project, "");
    for (auto operation : {&ProjectTable::next, &ProjectTable::last}) {
        EXPECT_THROW((table.*operation)(), PostRefused);
        EXPECT_EQ(table.state(), ProjectTable::State::Editing);
        EXPECT_EQ(table.currentIndex(), 0);
        EXPECT_EQ(table.value(ProjectColumn::SkipFiles), ProjectValue(1));  // the listener's change stays
    }
    EXPECT_THROW(table.append(), PostRefused);
    EXPECT_EQ(table.state(), ProjectTable::State::Editing);
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.row(0)[0].toText(), "a");
}

TEST(ProjectTable, InsertPositionAndCancel) {
    ProjectTable table;
    addRows(table, {"a", "b", "c"});
    Recorder events(table);
    table.moveTo(1);
    events.take();
    table.insert();
    table.setValue(ProjectColumn::Project, "x");
    table.cancel();
    EXPECT_EQ(name(table), "b");
    EXPECT_EQ(events.take(), (Events{"scroll1", "scroll1"}));

    table.insert();
    table.setValue(ProjectColumn::Project, "x");
    table.post();
    EXPECT_EQ(table.row(1)[0].toText(), "x");
    EXPECT_EQ(table.row(2)[0].toText(), "b");
    EXPECT_EQ(table.currentIndex(), 1);

    table.append();
    EXPECT_EQ(table.currentIndex(), 4);
    EXPECT_TRUE(table.value(ProjectColumn::Project).isEmpty());
    table.cancel();
    EXPECT_EQ(table.currentIndex(), 1);
}

TEST(ProjectTable, Remove) {
    ProjectTable table;
    Recorder events(table);
    table.remove();  // nothing to delete
    EXPECT_EQ(events.take(), Events{});
    addRows(table, {"a", "b", "c"});
    events.take();

    table.append();
    table.remove();  // a pending insert is dropped, nothing stored changes
    EXPECT_EQ(table.rowCount(), 3);
    EXPECT_EQ(events.take(), (Events{"scroll3", "scroll2"}));

    table.edit();
    table.setValue(ProjectColumn::Project, "changed");
    table.remove();  // the edit goes with the row
    EXPECT_EQ(table.state(), ProjectTable::State::Browsing);
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(name(table), "b");
    EXPECT_EQ(events.take(), (Events{"edit", "delete", "scroll1"}));

    table.first();
    table.remove();
    EXPECT_EQ(name(table), "b");
    table.remove();
    EXPECT_EQ(table.currentIndex(), -1);
    EXPECT_TRUE(table.value(ProjectColumn::Project).isEmpty());
}

TEST(ProjectTable, ListenersMayDisconnectAndTagGuardRestores) {
    ProjectTable table;
    int calls = 0;
    int id = table.afterPost.connect([&](ProjectTable&) { ++calls; });
    addRows(table, {"a"});
    table.afterPost.disconnect(id);
    addRows(table, {"b"});
    EXPECT_EQ(calls, 1);
    {
        tharvel::TagGuard guard(table, 1);
        EXPECT_EQ(table.tag(), 1);
    }
    EXPECT_EQ(table.tag(), 0);
}
