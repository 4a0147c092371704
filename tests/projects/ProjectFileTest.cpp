#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <random>

#include "projects/PasswordCipher.h"
#include "projects/ProjectFile.h"
#include "projects/ProjectRules.h"
#include "support/TempDir.h"

using tharvel::ProjectColumn;
using tharvel::ProjectFile;
using tharvel::ProjectRules;
using tharvel::ProjectTable;
using tharvel::ProjectValue;
using tharvel::test::readFile;
using tharvel::test::TempDir;
using tharvel::test::writeFile;

namespace {

// UTF-16 LE of an ASCII text, with the byte-order mark when asked.
std::string utf16le(std::string_view ascii, bool mark = true) {
    std::string out = mark ? "\xFF\xFE" : "";
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

std::string utf16be(std::string_view ascii) {
    std::string out = "\xFE\xFF";
    for (char c : ascii) {
        out += '\0';
        out += c;
    }
    return out;
}

std::string text(const ProjectTable& table, int row, ProjectColumn column) {
    return table.row(row)[static_cast<size_t>(column)].toText();
}

struct Loaded {
    TempDir dir;
    ProjectTable table;
    ProjectRules rules{table, dir / "Tharvel.ini"};
    explicit Loaded(const std::string& bytes) {
        writeFile(rules.projectFile(), bytes);
        rules.load();
    }
    std::string file() const { return readFile(rules.projectFile()); }
};

const char* kOneProject =
    "[Web shop]\r\nMySQLServer=localhost\r\nMySQLPort=3306\r\nMySQLDataBase=shop\r\nMySQLUser=backup\r\n"
    "MySQLPassword=\r\nMySQLNewBackupEachDay=1\r\nFilesDirectory=/srv/shop\r\nBackupDirectory=/backups/\r\n"
    "SkipFiles=2\r\nLastBackup=\r\n\r\n";

}  // namespace

TEST(ProjectFile, EmptyTableIsJustTheMark) {
    TempDir dir;
    ProjectTable table;
    ASSERT_TRUE(ProjectFile::save(dir / "Tharvel.ini", table));
    EXPECT_EQ(readFile(dir / "Tharvel.ini"), "\xFF\xFE");
    struct stat info {};
    ASSERT_EQ(stat((dir / "Tharvel.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(ProjectFile, RowWithOnlyAName) {
    ProjectTable table;
    table.append();
    table.setValue(ProjectColumn::Project, "p");
    table.post();
    EXPECT_EQ(
        ProjectFile::encode(table),
        utf16le("[p]\r\nMySQLServer=\r\nMySQLPort=\r\nMySQLDataBase=\r\nMySQLUser=\r\nMySQLPassword=\r\n"
                "MySQLNewBackupEachDay=\r\nFilesDirectory=\r\nBackupDirectory=\r\nSkipFiles=\r\n"
                "LastBackup=\r\n\r\n"));
}

TEST(ProjectFile, EncodingsOnLoad) {
    std::string plain = "[A]\nMySQLUser=M\xC3\xBCller\n";
    struct Case {
        const char* what;
        std::string bytes;
        const char* user;
    };
    const Case cases[] = {
        {"UTF-16 LE", utf16le("[A]\r\nMySQLUser=Mu\r\n"), "Mu"},
        {"UTF-16 BE", utf16be("[A]\r\nMySQLUser=Mu\r\n"), "Mu"},
        {"UTF-8 with mark", "\xEF\xBB\xBF" + plain, "M\xC3\xBCller"},
        {"UTF-8 without mark", plain, "M\xC3\xBCller"},
        {"Windows-1252 without mark", "[A]\nMySQLUser=M\xFCller \x80\n", "M\xC3\xBCller \xE2\x82\xAC"},
    };
    for (const Case& c : cases) {
        Loaded loaded(c.bytes);
        ASSERT_EQ(loaded.table.rowCount(), 1) << c.what;
        EXPECT_EQ(text(loaded.table, 0, ProjectColumn::Project), "A") << c.what;
        EXPECT_EQ(text(loaded.table, 0, ProjectColumn::MySQLUser), c.user) << c.what;
        // The load posted a project, so the file is now in the saved form.
        EXPECT_EQ(loaded.file(), ProjectFile::encode(loaded.table)) << c.what;
        EXPECT_TRUE(loaded.file().starts_with("\xFF\xFE")) << c.what;
    }
}

TEST(ProjectFile, SavedFormLoadsBackByteForByte) {
    Loaded loaded(utf16le(kOneProject));
    ASSERT_EQ(loaded.table.rowCount(), 1);
    EXPECT_EQ(loaded.file(), utf16le(kOneProject));
    EXPECT_EQ(text(loaded.table, 0, ProjectColumn::FilesDirectory), "/srv/shop");
    EXPECT_EQ(loaded.table.row(0)[static_cast<size_t>(ProjectColumn::SkipFiles)], ProjectValue(2));
    EXPECT_EQ(loaded.table.currentIndex(), 0);
}

TEST(ProjectFile, LineBreaksAndTrimming) {
    // CR LF, CR, LF and U+2028 all end lines; blanks around names and values go.
    Loaded loaded("[  a \t]\rMySQLUser=  u  \xE2\x80\xA8MySQLServer=s\r\n  [b]\nMySQLDataBase=d");
    ASSERT_EQ(loaded.table.rowCount(), 2);
    EXPECT_EQ(text(loaded.table, 0, ProjectColumn::Project), "a");
    EXPECT_EQ(text(loaded.table, 0, ProjectColumn::MySQLUser), "u");
    EXPECT_EQ(text(loaded.table, 0, ProjectColumn::MySQLServer), "s");
    EXPECT_EQ(text(loaded.table, 1, ProjectColumn::Project), "b");
    EXPECT_EQ(text(loaded.table, 1, ProjectColumn::MySQLDataBase), "d");

    auto lines = ProjectFile::splitLines("a\r\n\r\nb\n");
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "", "b"}));
    // A NUL does not end the text: what follows it still loads.
    EXPECT_EQ(ProjectFile::splitLines(std::string("a\0b", 3)), (std::vector<std::string>{"a", "b"}));
}

TEST(ProjectFile, IntegerColumnsAndMissingKeys) {
    struct Case {
        const char* line;
        ProjectValue skipFiles;
    };
    const Case cases[] = {
        {"SkipFiles=abc", ProjectValue(0)},
        {"SkipFiles= 2 ", ProjectValue(2)},
        {"SkipFiles=0", ProjectValue(0)},
        {"SkipFiles=", ProjectValue(1)},
        {"", ProjectValue(1)},
        {"SkipFiles=1.5", ProjectValue(0)},
    };
    for (const Case& c : cases) {
        Loaded loaded(std::string("[p]\n") + c.line + "\n");
        ASSERT_EQ(loaded.table.rowCount(), 1) << c.line;
        EXPECT_EQ(loaded.table.row(0)[static_cast<size_t>(ProjectColumn::SkipFiles)], c.skipFiles) << c.line;
        EXPECT_EQ(loaded.table.row(0)[static_cast<size_t>(ProjectColumn::MySQLNewBackupEachDay)],
                  ProjectValue(1))
            << c.line;
        EXPECT_TRUE(loaded.table.row(0)[static_cast<size_t>(ProjectColumn::MySQLUser)].isEmpty()) << c.line;
    }
}

TEST(ProjectFile, UnknownLinesAreDroppedByTheRewrite) {
    Loaded loaded(
        "; a comment\n[p]\nmysqluser=lower\nColour=blue\nMySQLUser=first\nMySQLUser=second\n"
        "MySQLServer=x SkipFiles=2\n");
    ASSERT_EQ(loaded.table.rowCount(), 1);
    EXPECT_EQ(text(loaded.table, 0, ProjectColumn::MySQLUser), "second");  // the later line wins
    EXPECT_EQ(text(loaded.table, 0, ProjectColumn::MySQLServer), "x SkipFiles=2");
    EXPECT_EQ(text(loaded.table, 0, ProjectColumn::SkipFiles), "1");
    std::string file = loaded.file();
    EXPECT_EQ(file, ProjectFile::encode(loaded.table));
    EXPECT_EQ(file.find(utf16le("Colour", false)), std::string::npos);
    EXPECT_EQ(file.find(utf16le("comment", false)), std::string::npos);
}

TEST(ProjectFile, FileWithoutProjectsIsNotRewritten) {
    const std::string bytes = "; only a comment\nColour=blue\n";
    Loaded loaded(bytes);
    EXPECT_EQ(loaded.table.rowCount(), 0);
    EXPECT_EQ(loaded.file(), bytes);

    TempDir dir;
    ProjectTable table;
    EXPECT_EQ(ProjectFile::load(dir / "missing.ini", table), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.ini"));
    // A path that exists but cannot be read is an error, not an empty table that
    // the next save would write over it.
    EXPECT_THROW(ProjectFile::load(dir.path(), table), std::runtime_error);
}

TEST(ProjectFile, StrayKeysAndNamelessHeadersKeepTheirProjects) {
    Loaded loaded(
        "MySQLUser=early\n[]\nMySQLUser=nameless\n[  ]\n[next]\nMySQLUser=kept\n[open\nMySQLUser=o\n");
    ASSERT_EQ(loaded.table.rowCount(), 5);
    const char* names[] = {"Unnamed project", "Unnamed project", "Unnamed project", "next", "open"};
    const char* users[] = {"early", "nameless", "", "kept", "o"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(text(loaded.table, i, ProjectColumn::Project), names[i]) << i;
        EXPECT_EQ(text(loaded.table, i, ProjectColumn::MySQLUser), users[i]) << i;
    }
}

TEST(ProjectFile, ValuesThatNeedEscapingSurvive) {
    const std::string values[] = {
        "line\r\nbreak",
        std::string("nul\0inside", 10),
        " leading",
        "trailing\t",
        "\x01",
        "[both]",
        "MySQLUser=inside",
        "100%",
        "%41",
        "sep\xE2\x80\xA8"
        "arator",
        "not utf-8 \xFF\xC3",
        "\xC3\xBF\xC2\x80",
    };
    for (const std::string& value : values) {
        TempDir dir;
        ProjectTable table;
        table.append();
        table.setValue(ProjectColumn::Project, value);
        for (int c = 1; c < tharvel::kProjectColumnCount; ++c) table.setValue(tharvel::columnAt(c), value);
        table.setValue(ProjectColumn::SkipFiles, 2);
        table.setValue(ProjectColumn::MySQLNewBackupEachDay, 1);
        table.post();
        ASSERT_TRUE(ProjectFile::save(dir / "Tharvel.ini", table));
        ProjectTable loaded;
        ASSERT_EQ(ProjectFile::load(dir / "Tharvel.ini", loaded), 1);
        for (int c = 0; c < tharvel::kProjectColumnCount; ++c)
            EXPECT_EQ(loaded.row(0)[static_cast<size_t>(c)].toText(),
                      table.row(0)[static_cast<size_t>(c)].toText())
                << tharvel::columnName(tharvel::columnAt(c)) << " of " << testing::PrintToString(value);
    }
}

TEST(ProjectFile, PlainValuesAreWrittenRaw) {
    for (const char* value : {"/srv/a b", "[x]", "a=b", "100%", "%41", "M\xC3\xBCller", "MySQLUser=x"}) {
        EXPECT_TRUE(ProjectFile::isPlain(value)) << value;
        ProjectTable table;
        table.append();
        table.setValue(ProjectColumn::Project, "p");
        table.setValue(ProjectColumn::MySQLUser, value);
        table.post();
        std::string file = ProjectFile::decode(ProjectFile::encode(table));
        EXPECT_NE(file.find(std::string("\r\nMySQLUser=") + value + "\r\n"), std::string::npos) << value;
    }
    for (const char* value : {" a", "a ", "a\nb", "\xFF"}) EXPECT_FALSE(ProjectFile::isPlain(value)) << value;
}

TEST(ProjectFile, FailedSaveKeepsTheOldFile) {
    TempDir dir;
    ProjectTable table;
    table.append();
    table.setValue(ProjectColumn::Project, "new");
    table.post();
    // The target is a directory: the rename fails, no temporary file stays behind.
    std::filesystem::create_directory(dir / "Tharvel.ini");
    EXPECT_FALSE(ProjectFile::save(dir / "Tharvel.ini", table));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    EXPECT_FALSE(ProjectFile::save(dir / "no-such-dir" / "Tharvel.ini", table));
}

TEST(ProjectFile, SaveThroughASymbolicLinkReplacesItsTarget) {
    TempDir dir;
    writeFile(dir / "real.ini", "old");
    std::filesystem::create_symlink(dir / "real.ini", dir / "Tharvel.ini");
    ProjectTable table;
    ASSERT_TRUE(ProjectFile::save(dir / "Tharvel.ini", table));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "Tharvel.ini"));
    EXPECT_EQ(readFile(dir / "real.ini"), "\xFF\xFE");
}

TEST(ProjectFile, SaveIntoADirectoryThatIsNotWritable) {
    TempDir dir;
    auto folder = dir / "ro";
    std::filesystem::create_directory(folder);
    writeFile(folder / "Tharvel.ini", "old");
    chmod(dir.path().c_str(), 0755);
    chmod(folder.c_str(), 0555);
    chmod((folder / "Tharvel.ini").c_str(), 0644);

    // Root may write anywhere, so the save then runs in a child that drops to an
    // unprivileged user.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        ProjectTable table;
        table.append();
        table.setValue(ProjectColumn::Project, "new");
        table.post();
        _exit(ProjectFile::save(folder / "Tharvel.ini", table) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "running as root and cannot drop to user 65534";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the save reported success";
    EXPECT_EQ(readFile(folder / "Tharvel.ini"), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

namespace {

// Random texts drawn from the classes a value may hold.
std::string randomText(std::mt19937& random) {
    static const std::vector<std::string> pieces = {
        "a",
        "Z",
        "0",
        " ",
        "\t",
        "\r",
        "\n",
        "\r\n",
        std::string(1, '\0'),
        "\x01",
        "\x1F",
        "\x7F",
        "[",
        "]",
        "=",
        "%",
        "%2",
        "%41",
        "SkipFiles=",
        "[p]",
        "MySQLPassword=",
        "\xC3\xBC",
        "\xE2\x82\xAC",
        "\xF0\x9F\x98\x80",
        "\xE2\x80\xA8",
        "\xC2\x85",
        "\xFF",
        "/srv/www",
        ";",
        "*",
    };
    std::uniform_int_distribution<int> length(0, 8), pick(0, static_cast<int>(pieces.size()) - 1);
    std::string text;
    for (int n = length(random); n > 0; --n) text += pieces[static_cast<size_t>(pick(random))];
    return text;
}

}  // namespace

TEST(ProjectFile, GeneratedTablesRoundTrip) {
    std::mt19937 random(20261210);
    std::vector<bool> cipherBytesSeen(256);
    for (int round = 0; round < 25; ++round) {
        TempDir dir;
        ProjectTable table;
        std::uniform_int_distribution<int> rows(0, 12), passwordLength(0, 64), byte(0, 255), coin(0, 1);
        for (int r = rows(random); r > 0; --r) {
            table.append();
            std::string name = randomText(random);
            table.setValue(ProjectColumn::Project, name.empty() ? "p" : name);
            for (auto column :
                 {ProjectColumn::MySQLServer, ProjectColumn::MySQLDataBase, ProjectColumn::MySQLUser,
                  ProjectColumn::FilesDirectory, ProjectColumn::BackupDirectory, ProjectColumn::LastBackup})
                table.setValue(column, randomText(random));
            table.setValue(ProjectColumn::MySQLPort,
                           coin(random) ? ProjectValue(3306) : ProjectValue(randomText(random)));
            std::string password;
            for (int n = passwordLength(random); n > 0; --n) password += static_cast<char>(byte(random));
            std::string stored = tharvel::PasswordCipher::encipherPassword(password);
            for (unsigned char b : tharvel::PasswordCipher::fromStoredForm(stored)) cipherBytesSeen[b] = true;
            table.setValue(ProjectColumn::MySQLPassword, stored);
            table.setValue(ProjectColumn::SkipFiles, std::int64_t{byte(random) - 128});
            table.setValue(ProjectColumn::MySQLNewBackupEachDay, std::int64_t{coin(random)});
            if (coin(random)) table.setValue(ProjectColumn::LastBackup, std::chrono::system_clock::now());
            table.post();
        }
        auto path = dir / "Tharvel.ini";
        ASSERT_TRUE(ProjectFile::save(path, table));
        const std::string saved = readFile(path);

        ProjectTable loaded;
        ProjectRules rules(loaded, path);
        rules.load();
        ASSERT_EQ(loaded.rowCount(), table.rowCount()) << "round " << round;
        for (int r = 0; r < table.rowCount(); ++r) {
            for (int c = 0; c < tharvel::kProjectColumnCount; ++c) {
                const ProjectValue& before = table.row(r)[static_cast<size_t>(c)];
                const ProjectValue& after = loaded.row(r)[static_cast<size_t>(c)];
                EXPECT_EQ(after.toText(), before.toText())
                    << "round " << round << " row " << r << " " << tharvel::columnName(tharvel::columnAt(c));
                if (before.isText() || c == 6 || c == 9) {
                    EXPECT_EQ(after, before);
                }
            }
        }
        // The load rewrote the file; it is byte for byte what was saved.
        EXPECT_EQ(readFile(path), saved) << "round " << round;
    }
    EXPECT_EQ(std::count(cipherBytesSeen.begin(), cipherBytesSeen.end(), true), 256);
}

TEST(ProjectFile, SaveKeepsModeAndOwnerAndNeverReplacesAReadOnlyFile) {
    ProjectTable table;
    table.append();
    table.setValue(ProjectColumn::Project, "p");
    table.post();
    const std::string old = utf16le("[old]\r\n");
    struct Case {
        mode_t mode;
        bool saved;
    };
    // Root may write anything: only the mode bits tell a read-only file.
    const Case cases[] = {{0444, false}, {0400, false}, {0000, false},
                          {0644, true},  {0640, true},  {0200, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        TempDir dir;
        const auto path = dir / "Tharvel.ini";
        writeFile(path, old);
        ASSERT_EQ(::link(path.c_str(), (dir / "other-name").c_str()), 0);
        ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
        EXPECT_EQ(ProjectFile::save(path, table), c.saved);
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, c.mode);
        if (!c.saved) {
            EXPECT_EQ(readFile(path), old);
            EXPECT_EQ(info.st_nlink, 2u);  // still the same file, not a replacement
        } else {
            EXPECT_EQ(readFile(path), ProjectFile::encode(table));
        }
    }
    if (::geteuid() == 0) {
        TempDir dir;
        const auto path = dir / "Tharvel.ini";
        writeFile(path, old);
        ASSERT_EQ(::chown(path.c_str(), 4242, 4343), 0);
        ASSERT_TRUE(ProjectFile::save(path, table));
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, 4242u);
        EXPECT_EQ(info.st_gid, 4343u);
    }
}

TEST(ProjectFile, OptionalSettingsAreWrittenOnlyWhenSet) {
    // A file of the old form, and one project with the settings in another order,
    // spaced, one at its default (empty) and one that is no number.
    const std::string plain = kOneProject;
    const std::string second =
        "[Daily]\r\nKeepDailyDumps= abc "
        "\r\nMySQLServer=db\r\nMySQLTLSCA=/etc/ssl/ca.pem\r\nDumpCompression=\r\n"
        "MySQLTLS=verify\r\n";
    Loaded loaded(utf16le(plain + second));
    ASSERT_EQ(loaded.table.rowCount(), 2);
    EXPECT_EQ(text(loaded.table, 1, ProjectColumn::MySQLTLS), "verify");
    EXPECT_EQ(text(loaded.table, 1, ProjectColumn::MySQLTLSCA), "/etc/ssl/ca.pem");
    EXPECT_TRUE(loaded.table.row(1)[static_cast<size_t>(ProjectColumn::DumpCompression)].isEmpty());
    EXPECT_EQ(text(loaded.table, 1, ProjectColumn::KeepDailyDumps), "abc");
    EXPECT_EQ(loaded.file(),
              utf16le(plain + "[Daily]\r\nMySQLServer=db\r\nMySQLPort=\r\nMySQLDataBase=\r\n"
                              "MySQLUser=\r\nMySQLPassword=\r\nMySQLNewBackupEachDay=1\r\n"
                              "FilesDirectory=\r\nBackupDirectory=\r\nSkipFiles=1\r\nLastBackup=\r\n"
                              "MySQLTLS=verify\r\nMySQLTLSCA=/etc/ssl/ca.pem\r\nKeepDailyDumps=abc\r\n"
                              "\r\n"));

    // Set and cleared again, a setting leaves no trace.
    Loaded again(utf16le(plain));
    again.table.edit();
    again.table.setValue(ProjectColumn::DumpCompression, "zstd");
    again.table.setValue(ProjectColumn::KeepDailyDumps, 7);
    again.table.post();
    EXPECT_EQ(again.file(), utf16le(std::string(plain).insert(
                                plain.size() - 2, "DumpCompression=zstd\r\nKeepDailyDumps=7\r\n")));
    again.table.edit();
    again.table.setValue(ProjectColumn::DumpCompression, ProjectValue());
    again.table.setValue(ProjectColumn::KeepDailyDumps, "");
    again.table.post();
    EXPECT_EQ(again.file(), utf16le(plain));
}
