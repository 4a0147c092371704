#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include "MainWindowDriver.h"
#include "UiTestSupport.h"
#include "projects/PasswordCipher.h"
#include "projects/ProjectTable.h"
#include "ui/GeneralErrorBox.h"
#include "ui/MessageBoxes.h"
#include "ui/UiLook.h"

using namespace tharvel;
using namespace tharvel::test;

namespace {

const char* kTwoProjects =
    "[Shop]\n"
    "MySQLServer=db.example\n"
    "MySQLPort=3307\n"
    "MySQLDataBase=shop\n"
    "MySQLUser=backup\n"
    "MySQLNewBackupEachDay=0\n"
    "FilesDirectory=/srv/shop\n"
    "BackupDirectory=/backups/\n"
    "SkipFiles=2\n"
    "\n"
    "[Blog]\n"
    "MySQLServer=localhost\n"
    "BackupDirectory=/backups/blog\n"
    "SkipFiles=0\n";

}  // namespace

// Each row of the state table, reached the way a user reaches it.
TEST(MainWindow, StateTableRowByRow) {
    struct Case {
        const char* state;
        bool withFile;
        std::function<void(MainWindowDriver&)> steps;
        const char* buttons;  // New, Edit, Delete, Save, Cancel, then frame/list/backups
    };
    const Case cases[] = {
        {"start without project file", false, [](MainWindowDriver&) {}, "10000 1"},
        {"browsing, list not empty", true, [](MainWindowDriver&) {}, "11100 1"},
        {"browsing, list empty", true,
         [](MainWindowDriver& t) {
             MessageBoxAnswerer yes(QStringLiteral("&Yes"));
             t.click(t.window_->deleteButton);
             t.click(t.window_->deleteButton);
         },
         "10000 0"},
        {"editing by Edit", true, [](MainWindowDriver& t) { t.click(t.window_->editButton); }, "10011 1"},
        {"editing by typing", true,
         [](MainWindowDriver& t) { t.typeInto(t.window_->serverEdit, QStringLiteral("x")); }, "10011 1"},
        {"editing by the check box", true,
         [](MainWindowDriver& t) { t.click(t.window_->newBackupEachDayCheck); }, "10011 1"},
        {"editing by the copy policy", true,
         [](MainWindowDriver& t) { t.click(t.window_->skipExistingRadio); }, "10011 1"},
        {"inserting", true, [](MainWindowDriver& t) { t.click(t.window_->newProjectButton); }, "10011 1"},
        {"inserting on an empty list", false,
         [](MainWindowDriver& t) { t.click(t.window_->newProjectButton); }, "10011 1"},
        {"after Save", true,
         [](MainWindowDriver& t) {
             t.click(t.window_->editButton);
             t.typeInto(t.window_->userEdit, QStringLiteral("root"));
             t.click(t.window_->saveButton);
         },
         "11100 1"},
        {"after Cancel", true,
         [](MainWindowDriver& t) {
             t.click(t.window_->newProjectButton);
             t.click(t.window_->cancelButton);
         },
         "11100 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        MainWindowDriver t;
        if (c.withFile) t.writeProjects(kTwoProjects);
        ASSERT_TRUE(t.show());
        c.steps(t);
        EXPECT_EQ(t.buttonStates(), c.buttons);
    }
}

TEST(MainWindow, NewProjectStartsWithDefaultsAndTheCurrentBackupDirectory) {
    for (bool withFile : {false, true}) {
        SCOPED_TRACE(withFile ? "after Shop" : "empty list");
        MainWindowDriver t;
        if (withFile) t.writeProjects(kTwoProjects);
        ASSERT_TRUE(t.show());
        t.click(t.window_->newProjectButton);
        EXPECT_EQ(t.window_->table().state(), ProjectTable::State::Inserting);
        EXPECT_EQ(t.window_->backupDirectoryEdit->text(), withFile ? "/backups/" : "");
        EXPECT_EQ(t.window_->serverEdit->text(), "localhost");
        EXPECT_EQ(t.window_->portEdit->text(), "3306");
        EXPECT_TRUE(t.window_->overwriteRadio->isChecked());
        EXPECT_TRUE(t.window_->newBackupEachDayCheck->isChecked());
        EXPECT_EQ(t.window_->projectNameEdit->text(), "");
        EXPECT_EQ(t.window_->filesDirectoryEdit->text(), "");
        EXPECT_TRUE(t.window_->projectNameEdit->hasFocus());
    }
}

TEST(MainWindow, SaveWithoutNameWarnsAndWritesNothing) {
    MainWindowDriver t;
    t.writeProjects(kTwoProjects);
    ASSERT_TRUE(t.show());
    const std::string before = t.projectFileText();
    t.click(t.window_->newProjectButton);
    t.typeInto(t.window_->databaseEdit, QStringLiteral("nameless"));
    MessageBoxAnswerer ok;
    t.click(t.window_->saveButton);
    ASSERT_EQ(ok.seen().size(), 1u);
    EXPECT_EQ(ok.seen()[0].title, "Warning");
    EXPECT_EQ(ok.seen()[0].text, "Project Name is missing");
    EXPECT_EQ(t.buttonStates(), "10011 1");
    EXPECT_EQ(t.window_->table().state(), ProjectTable::State::Inserting);
    EXPECT_EQ(t.projectFileText(), before);

    // Naming it in the list saves it.
    t.typeInto(t.window_->projectNameEdit, QStringLiteral("Named"));
    t.click(t.window_->saveButton);
    EXPECT_EQ(ok.seen().size(), 1u);
    EXPECT_NE(t.projectFileText().find(
                  "[Named]\r\nMySQLServer=localhost\r\nMySQLPort=3306\r\nMySQLDataBase=nameless"),
              std::string::npos);
    EXPECT_EQ(t.buttonStates(), "11100 1");
}

TEST(MainWindow, CancelledNewProjectOnAnEmptyListReturnsToTheEmptyList) {
    MainWindowDriver t;
    ASSERT_TRUE(t.show());
    t.click(t.window_->newProjectButton);
    t.click(t.window_->cancelButton);
    EXPECT_EQ(t.buttonStates(), "10000 0");
    EXPECT_EQ(t.window_->table().rowCount(), 0);
    EXPECT_FALSE(std::filesystem::exists(t.projectFile()));
}

TEST(MainWindow, DeletingAsksAndTheLastDeleteLeavesAnEmptyFile) {
    MainWindowDriver t;
    t.writeProjects(kTwoProjects);
    ASSERT_TRUE(t.show());
    MessageBoxAnswerer answer(QStringLiteral("&No"));
    t.click(t.window_->deleteButton);
    ASSERT_EQ(answer.seen().size(), 1u);
    EXPECT_EQ(answer.seen()[0].title, "Confirm");
    EXPECT_EQ(answer.seen()[0].text, "Delete project?");
    EXPECT_EQ(t.window_->table().rowCount(), 2);

    answer.setAnswer(QStringLiteral("&Yes"));
    t.click(t.window_->deleteButton);
    EXPECT_EQ(t.window_->table().rowCount(), 1);
    EXPECT_EQ(t.window_->projectNameEdit->text(), "Blog");
    EXPECT_EQ(t.buttonStates(), "11100 1");
    t.click(t.window_->deleteButton);
    EXPECT_EQ(t.buttonStates(), "10000 0");
    EXPECT_EQ(readFile(t.projectFile()), "\xFF\xFE");
}

TEST(MainWindow, ListSelectionShowsTheProjectAndNamesEditInPlace) {
    MainWindowDriver t;
    t.writeProjects(kTwoProjects);
    ASSERT_TRUE(t.show());
    auto* list = t.window_->projectList;
    ASSERT_EQ(list->model()->rowCount(), 2);
    EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), "Project Name");
    EXPECT_EQ(t.window_->portEdit->text(), "3307");
    EXPECT_TRUE(t.window_->overwriteOlderRadio->isChecked());
    EXPECT_FALSE(t.window_->newBackupEachDayCheck->isChecked());

    t.focus(list);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(t.window_->table().currentIndex(), 1);
    EXPECT_EQ(t.window_->projectNameEdit->text(), "Blog");
    EXPECT_TRUE(t.window_->skipExistingRadio->isChecked());
    EXPECT_TRUE(t.window_->newBackupEachDayCheck->isChecked());  // defaulted to 1 on load

    // F2 edits the name in place; Enter commits it into the row, which then edits.
    QTest::keyClick(list, Qt::Key_F2);
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, list);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, QStringLiteral("Journal"));
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();  // the list commits the name from its own queue
    EXPECT_EQ(t.window_->projectNameEdit->text(), "Journal");
    EXPECT_EQ(t.buttonStates(), "10011 1");
    // Moving to another row posts the change.
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(t.window_->table().currentIndex(), 0);
    EXPECT_NE(t.projectFileText().find("[Journal]"), std::string::npos);
}

TEST(MainWindow, PasswordEditKeepsTheStoredPasswordUntilSomethingIsTyped) {
    MainWindowDriver t;
    t.writeProjects(std::string(kTwoProjects) + "MySQLPassword=kept\n");  // Blog's stored form
    ASSERT_TRUE(t.show());
    t.focus(t.window_->projectList);
    QTest::keyClick(t.window_->projectList, Qt::Key_Down);
    QLineEdit* password = t.window_->passwordEdit;
    EXPECT_EQ(password->text(), MainWindow::passwordPlaceholder());
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);

    // In and out without typing: nothing changes.
    t.focus(password);
    EXPECT_EQ(password->text(), "");
    EXPECT_EQ(password->palette().color(QPalette::Base), UiLook::focusColour());
    t.focus(t.window_->userEdit);
    EXPECT_EQ(password->text(), MainWindow::passwordPlaceholder());
    EXPECT_NE(password->palette().color(QPalette::Base), UiLook::focusColour());
    EXPECT_EQ(t.window_->table().state(), ProjectTable::State::Browsing);
    EXPECT_EQ(t.buttonStates(), "11100 1");
    EXPECT_EQ(t.window_->table().value(ProjectColumn::MySQLPassword).toText(), "kept");

    // Typing edits the row; leaving stores the cipher text, the post writes it.
    t.typeInto(password, QStringLiteral("s3cret"));
    EXPECT_EQ(t.buttonStates(), "10011 1");
    t.focus(t.window_->userEdit);
    const std::string stored = t.window_->table().value(ProjectColumn::MySQLPassword).toText();
    EXPECT_NE(stored, "kept");
    EXPECT_NE(stored, "s3cret");
    EXPECT_EQ(t.projectFileText().find("s3cret"), std::string::npos);
    EXPECT_NE(t.projectFileText().find("MySQLPassword=kept"), std::string::npos);
    t.click(t.window_->saveButton);
    EXPECT_EQ(t.projectFileText().find("MySQLPassword=kept"), std::string::npos);
    EXPECT_EQ(t.window_->table().value(ProjectColumn::MySQLPassword).toText(), stored);

    // Typing and erasing again stores an empty password.
    t.typeInto(password, QStringLiteral("x"));
    QTest::keyClick(password, Qt::Key_Backspace);
    t.focus(t.window_->userEdit);
    t.click(t.window_->saveButton);
    EXPECT_TRUE(t.window_->table().value(ProjectColumn::MySQLPassword).isEmpty());
}

TEST(MainWindow, ClearPasswordPostsAtOnceAndLeavesSaveAndCancelOn) {
    MainWindowDriver t;
    t.writeProjects(std::string(kTwoProjects) + "MySQLPassword=kept\n");
    ASSERT_TRUE(t.show());
    t.focus(t.window_->projectList);
    QTest::keyClick(t.window_->projectList, Qt::Key_Down);
    t.click(t.window_->clearPasswordButton);
    EXPECT_EQ(t.window_->table().state(), ProjectTable::State::Browsing);
    EXPECT_TRUE(t.window_->table().value(ProjectColumn::MySQLPassword).isEmpty());
    EXPECT_NE(t.projectFileText().find("MySQLPassword=\r\n"), std::string::npos);
    EXPECT_EQ(t.buttonStates(), "10011 1");
    // They do nothing until the selection moves.
    t.click(t.window_->saveButton);
    t.click(t.window_->cancelButton);
    EXPECT_EQ(t.buttonStates(), "10011 1");
    QTest::keyClick(t.window_->projectList, Qt::Key_Up);
    EXPECT_EQ(t.buttonStates(), "11100 1");

    // A password typed just before is not stored after the clear.
    t.typeInto(t.window_->passwordEdit, QStringLiteral("typed"));
    t.click(t.window_->clearPasswordButton);
    t.focus(t.window_->userEdit);
    EXPECT_TRUE(t.window_->table().value(ProjectColumn::MySQLPassword).isEmpty());
    EXPECT_EQ(t.projectFileText().find("MySQLPassword=\r\n"), t.projectFileText().find("MySQLPassword="));
}

TEST(MainWindow, TypingBeforeNewProjectOnAStartWithoutFile) {
    for (bool named : {false, true}) {
        SCOPED_TRACE(named ? "named" : "nameless");
        MainWindowDriver t;
        ASSERT_TRUE(t.show());
        t.typeInto(named ? t.window_->projectNameEdit : t.window_->userEdit, QStringLiteral("early"));
        EXPECT_EQ(t.window_->table().state(), ProjectTable::State::Inserting);
        EXPECT_EQ(t.buttonStates(), "10000 1");
        MessageBoxAnswerer ok;
        t.click(t.window_->newProjectButton);
        if (named) {
            EXPECT_TRUE(ok.seen().empty());
            EXPECT_EQ(t.window_->table().rowCount(), 1);
            EXPECT_NE(t.projectFileText().find("[early]"), std::string::npos);
        } else {
            ASSERT_EQ(ok.seen().size(), 1u);
            EXPECT_EQ(ok.seen()[0].text, "Project Name is missing");
            EXPECT_EQ(t.window_->table().rowCount(), 0);
            EXPECT_EQ(t.window_->userEdit->text(), "early");
        }
        EXPECT_EQ(t.window_->table().state(), ProjectTable::State::Inserting);
    }
}

TEST(MainWindow, BoundEditsAreHighlightedWhileTheyHaveTheFocus) {
    MainWindowDriver t;
    ASSERT_TRUE(t.show());
    const QColor window = QApplication::palette().color(QPalette::Base);
    for (QLineEdit* edit : t.window_->boundEdits()) {
        SCOPED_TRACE(edit->objectName().toStdString());
        t.focus(edit);
        EXPECT_EQ(edit->palette().color(QPalette::Base), QColor(255, 255, 225));
        t.focus(t.window_->newProjectButton);
        EXPECT_EQ(edit->palette().color(QPalette::Base), window);
    }
}

TEST(MainWindow, ViewLogOpensTheLogOrSaysItIsMissing) {
    MainWindowDriver t;
    ASSERT_TRUE(t.show());
    UrlCatcher opened(QStringLiteral("file"));
    {
        MessageBoxAnswerer ok;
        t.click(t.window_->viewLogButton);
        ASSERT_EQ(ok.seen().size(), 1u);
        EXPECT_EQ(ok.seen()[0].text, "Log File does not exist.");
        EXPECT_EQ(ok.seen()[0].title, MessageBoxes::applicationTitle());
        EXPECT_TRUE(opened.urls().empty());
    }
    writeFile(t.home_ / "TharvelLog.txt", "line\r\n");
    MessageBoxAnswerer none;
    t.click(t.window_->viewLogButton);
    EXPECT_TRUE(none.seen().empty());
    ASSERT_EQ(opened.urls().size(), 1u);
    EXPECT_EQ(opened.urls()[0].toLocalFile().toStdString(), (t.home_ / "TharvelLog.txt").string());
}

TEST(MainWindow, UnreadableProjectFileIsReportedAndNeverReplaced) {
    MainWindowDriver t;
    std::filesystem::create_directories(t.projectFile());  // exists, cannot be read as a file
    MessageBoxAnswerer ok;
    ASSERT_TRUE(t.show());
    ASSERT_EQ(ok.seen().size(), 1u);
    EXPECT_EQ(ok.seen()[0].title, MessageBoxes::applicationTitle());
    EXPECT_TRUE(ok.seen()[0].text.startsWith("Cannot read the project file"))
        << ok.seen()[0].text.toStdString();
    EXPECT_EQ(t.buttonStates(), "00000 0");
    EXPECT_TRUE(std::filesystem::is_directory(t.projectFile()));
}

TEST(MainWindow, ClosingDropsAProjectBeingInserted) {
    MainWindowDriver t;
    t.writeProjects(kTwoProjects);
    ASSERT_TRUE(t.show());
    const std::string before = t.projectFileText();
    t.click(t.window_->newProjectButton);
    t.typeInto(t.window_->projectNameEdit, QStringLiteral("Unsaved"));
    t.click(t.window_->exitButton);
    EXPECT_FALSE(t.window_->isVisible());
    t.window_.reset();
    EXPECT_EQ(t.projectFileText(), before);
}

TEST(MainWindow, LogoOpensTheMakersSite) {
    MainWindowDriver t;
    ASSERT_TRUE(t.show());
    t.window_->setMakerSiteAddress(QStringLiteral("https://maker.example/"));
    UrlCatcher opened(QStringLiteral("https"));
    QTest::mouseClick(t.window_->logo, Qt::LeftButton);
    ASSERT_EQ(opened.urls().size(), 1u);
    EXPECT_EQ(opened.urls()[0], QUrl("https://maker.example/"));
}

// Without its digest the cipher cannot make a stored password: the user is told,
// and the stored password stays as it was (zero bytes are no password).
TEST(MainWindow, PasswordThatCannotBeEncipheredIsReportedAndNotStored) {
    MainWindowDriver t;
    t.writeProjects(std::string(kTwoProjects) + "MySQLPassword=kept\n");
    ASSERT_TRUE(t.show());
    t.focus(t.window_->projectList);
    QTest::keyClick(t.window_->projectList, Qt::Key_Down);
    MessageBoxAnswerer boxes;
    {
        PasswordCipher::DigestNameOverride noMd5("NO-SUCH-DIGEST");
        t.typeInto(t.window_->passwordEdit, QStringLiteral("s3cret"));
        t.focus(t.window_->userEdit);
    }
    ASSERT_EQ(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.seen()[0].text,
              GeneralErrorBox::messageText(QString::fromLatin1(PasswordCipher::kEncipherFailed)));
    EXPECT_EQ(t.window_->table().value(ProjectColumn::MySQLPassword).toText(), "kept");
    t.click(t.window_->saveButton);
    EXPECT_NE(t.projectFileText().find("MySQLPassword=kept\r\n"), std::string::npos);
}
