#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "projects/VT.h"

using tharvel::EPostRefused;
using tharvel::VT;
using tharvel::VTColumn;
using tharvel::VTValue;

namespace {

// Records notifications in order, as "post<", "post>", "edit", "scroll", "delete".
struct Recorder {
    explicit Recorder(VT& table) {
        table.beforePost.connect([this](VT&) { events.push_back("post<"); });
        table.afterPost.connect([this](VT&) { events.push_back("post>"); });
        table.afterEdit.connect([this](VT&) { events.push_back("edit"); });
        table.afterScroll.connect(
            [this](VT& t) { events.push_back("scroll" + std::to_string(t.currentIndex())); });
        table.afterDelete.connect([this](VT&) { events.push_back("delete"); });
    }
    std::vector<std::string> take() { return std::exchange(events, {}); }
    std::vector<std::string> events;
};

void addRows(VT& table, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        table.append();
        table.setValue(VTColumn::Project, name);
        table.post();
    }
}

std::string name(const VT& table) {
    return table.value(VTColumn::Project).toText();
}

using Events = std::vector<std::string>;

}  // namespace

TEST(VTValue, KindsAndConversions) {
    EXPECT_TRUE(VTValue("").isEmpty());
    EXPECT_TRUE(VTValue(std::string()).isEmpty());
    EXPECT_EQ(VTValue("x").toText(), "x");
    EXPECT_EQ(VTValue(3306).toText(), "3306");
    EXPECT_EQ(VTValue(std::int64_t{-5}).toText(), "-5");
    EXPECT_FALSE(VTValue(std::chrono::system_clock::now()).toText().empty());

    struct Case {
        VTValue value;
        std::int32_t fallback, expected;
    };
    for (const Case& c : std::vector<Case>{{VTValue(), 1, 1},
                                           {VTValue(), 0, 0},
                                           {VTValue(2), 1, 2},
                                           {VTValue(" 2 "), 1, 2},
                                           {VTValue("-7"), 1, -7},
                                           {VTValue("abc"), 1, 0},
                                           {VTValue("1.5"), 1, 0},
                                           {VTValue(std::int64_t{1} << 40), 1, 0},
                                           {VTValue(std::chrono::system_clock::now()), 1, 0}}) {
        EXPECT_EQ(c.value.toInt32(c.fallback), c.expected) << c.value.toText();
    }
    EXPECT_EQ(tharvel::parseInteger("+12"), 12);
    EXPECT_EQ(tharvel::parseInteger("\t-3\r"), -3);
    EXPECT_FALSE(tharvel::parseInteger("++1"));
    EXPECT_FALSE(tharvel::parseInteger(""));
    EXPECT_FALSE(tharvel::parseInteger("99999999999999999999"));
}

TEST(VT, ColumnNamesInFileOrder) {
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
    static_assert(std::size(names) == tharvel::kVTColumnCount);
    for (int i = 0; i < tharvel::kVTColumnCount; ++i) {
        EXPECT_EQ(tharvel::columnName(tharvel::columnAt(i)), names[i]);
        EXPECT_EQ(tharvel::columnFromName(names[i]), tharvel::columnAt(i));
    }
    EXPECT_FALSE(tharvel::columnFromName("skipfiles"));
}

TEST(VT, EditOnEmptyTableStartsInsertingWithoutAfterEdit) {
    VT table;
    Recorder events(table);
    EXPECT_THROW(table.setValue(VTColumn::Project, "a"), std::logic_error);
    table.edit();
    EXPECT_EQ(table.state(), VT::State::Inserting);
    EXPECT_EQ(events.take(), (Events{"scroll0"}));
    table.setValue(VTColumn::Project, "a");
    table.post();
    EXPECT_EQ(table.rowCount(), 1);
    EXPECT_EQ(events.take(), (Events{"post<", "post>"}));

    table.edit();
    EXPECT_EQ(table.state(), VT::State::Editing);
    table.edit();  // already editing: nothing
    EXPECT_EQ(events.take(), (Events{"edit"}));
    table.setValue(VTColumn::Project, "b");
    EXPECT_EQ(name(table), "b");
    EXPECT_EQ(table.row(0)[0].toText(), "a");
    table.cancel();
    EXPECT_EQ(name(table), "a");
    EXPECT_EQ(events.take(), Events{});
}

TEST(VT, MovingEndsAPendingEdit) {
    VT table;
    addRows(table, {"a", "b", "c"});
    Recorder events(table);

    // Changed: posted, then moved.
    table.first();
    events.take();
    table.edit();
    table.setValue(VTColumn::MySQLUser, "u");
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

TEST(VT, RefusedPostStopsTheOperation) {
    VT table;
    addRows(table, {"a", "b"});
    table.beforePost.connect([](VT& t) {
        t.setValue(VTColumn::SkipFiles, 1);
        if (t.value(VTColumn::Project).isEmpty()) throw EPostRefused("no name");
    });
    table.first();
    table.edit();
    table.setValue(VTColumn::Project, "");
    for (auto operation : {&VT::next, &VT::last}) {
        EXPECT_THROW((table.*operation)(), EPostRefused);
        EXPECT_EQ(table.state(), VT::State::Editing);
        EXPECT_EQ(table.currentIndex(), 0);
        EXPECT_EQ(table.value(VTColumn::SkipFiles), VTValue(1));  // the listener's change stays
    }
    EXPECT_THROW(table.append(), EPostRefused);
    EXPECT_EQ(table.state(), VT::State::Editing);
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.row(0)[0].toText(), "a");
}

TEST(VT, InsertPositionAndCancel) {
    VT table;
    addRows(table, {"a", "b", "c"});
    Recorder events(table);
    table.moveTo(1);
    events.take();
    table.insert();
    table.setValue(VTColumn::Project, "x");
    table.cancel();
    EXPECT_EQ(name(table), "b");
    EXPECT_EQ(events.take(), (Events{"scroll1", "scroll1"}));

    table.insert();
    table.setValue(VTColumn::Project, "x");
    table.post();
    EXPECT_EQ(table.row(1)[0].toText(), "x");
    EXPECT_EQ(table.row(2)[0].toText(), "b");
    EXPECT_EQ(table.currentIndex(), 1);

    table.append();
    EXPECT_EQ(table.currentIndex(), 4);
    EXPECT_TRUE(table.value(VTColumn::Project).isEmpty());
    table.cancel();
    EXPECT_EQ(table.currentIndex(), 1);
}

TEST(VT, Remove) {
    VT table;
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
    table.setValue(VTColumn::Project, "changed");
    table.remove();  // the edit goes with the row
    EXPECT_EQ(table.state(), VT::State::Browsing);
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(name(table), "b");
    EXPECT_EQ(events.take(), (Events{"edit", "delete", "scroll1"}));

    table.first();
    table.remove();
    EXPECT_EQ(name(table), "b");
    table.remove();
    EXPECT_EQ(table.currentIndex(), -1);
    EXPECT_TRUE(table.value(VTColumn::Project).isEmpty());
}

TEST(VT, ListenersMayDisconnectAndTagGuardRestores) {
    VT table;
    int calls = 0;
    int id = table.afterPost.connect([&](VT&) { ++calls; });
    addRows(table, {"a"});
    table.afterPost.disconnect(id);
    addRows(table, {"b"});
    EXPECT_EQ(calls, 1);
    {
        tharvel::VTTagGuard guard(table, 1);
        EXPECT_EQ(table.tag(), 1);
    }
    EXPECT_EQ(table.tag(), 0);
}
