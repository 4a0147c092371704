#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "MainWindowDriver.h"
#include "UiTestSupport.h"
#include "projects/ProjectTable.h"

using namespace tharvel;
using namespace tharvel::test;

namespace {

// Answers the folder dialog: types the folder into it and confirms, or cancels
// when the folder is empty. Records what the dialog offered.
struct FolderAnswer {
    QTimer timer;
    QString title, startDirectory;
    bool directoriesOnly = false;
    int seen = 0;
    explicit FolderAnswer(QString folder) {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [this, folder] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible()) return;
            ++seen;
            title = dialog->windowTitle();
            startDirectory = dialog->directory().absolutePath();
            directoriesOnly =
                dialog->fileMode() == QFileDialog::Directory && dialog->testOption(QFileDialog::ShowDirsOnly);
            if (folder.isEmpty()) {
                dialog->reject();
                return;
            }
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!name) return dialog->reject();
            name->setText(folder);
            QTest::keyClick(name, Qt::Key_Return);
        });
        timer.start();
    }
};

const char* kProject = "[Site]\nFilesDirectory=/srv/old\nBackupDirectory=/srv/backups\n";

}  // namespace

TEST(FolderPicker, ChosenFolderIsStoredAndPostedAtOnce) {
    struct Case {
        bool filesButton;
        const char* title;
        const char* key;
    };
    for (const Case& c : {Case{true, "Directory to backup", "FilesDirectory="},
                          Case{false, "Where to backup", "BackupDirectory="}}) {
        SCOPED_TRACE(c.title);
        MainWindowDriver t;
        t.writeProjects(kProject);
        std::filesystem::create_directories(t.home_ / "chosen");
        ASSERT_TRUE(t.show());
        const QString chosen = QString::fromStdString((t.home_ / "chosen").string());
        FolderAnswer answer(chosen);
        t.click(c.filesButton ? t.window_->filesDirectoryButton : t.window_->backupDirectoryButton);
        EXPECT_EQ(answer.seen, 1);
        EXPECT_EQ(answer.title, c.title);
        EXPECT_TRUE(answer.directoriesOnly);
        EXPECT_NE(answer.startDirectory, "/srv/old");
        EXPECT_NE(answer.startDirectory, "/srv/backups");
        EXPECT_EQ((c.filesButton ? t.window_->filesDirectoryEdit : t.window_->backupDirectoryEdit)->text(),
                  chosen);
        EXPECT_NE(t.projectFileText().find(c.key + chosen.toStdString() + "\r\n"), std::string::npos);
        EXPECT_EQ(t.window_->table().state(), ProjectTable::State::Browsing);
        EXPECT_EQ(t.buttonStates(), "11100 1");
    }
}

TEST(FolderPicker, CancelChangesNothing) {
    MainWindowDriver t;
    t.writeProjects(kProject);
    ASSERT_TRUE(t.show());
    const std::string before = t.projectFileText();
    FolderAnswer answer{QString()};
    t.click(t.window_->filesDirectoryButton);
    EXPECT_EQ(answer.seen, 1);
    EXPECT_EQ(t.window_->filesDirectoryEdit->text(), "/srv/old");
    EXPECT_EQ(t.window_->table().state(), ProjectTable::State::Browsing);
    EXPECT_EQ(t.buttonStates(), "11100 1");
    EXPECT_EQ(t.projectFileText(), before);
}

TEST(FolderPicker, NewProjectWithoutNameKeepsThePathAndStaysInserting) {
    MainWindowDriver t;
    t.writeProjects(kProject);
    std::filesystem::create_directories(t.home_ / "chosen");
    ASSERT_TRUE(t.show());
    const std::string before = t.projectFileText();
    t.click(t.window_->newProjectButton);
    const QString chosen = QString::fromStdString((t.home_ / "chosen").string());
    FolderAnswer answer(chosen);
    MessageBoxAnswerer ok;
    t.click(t.window_->filesDirectoryButton);
    ASSERT_EQ(ok.seen().size(), 1u);
    EXPECT_EQ(ok.seen()[0].text, "Project Name is missing");
    EXPECT_EQ(t.window_->table().state(), ProjectTable::State::Inserting);
    EXPECT_EQ(t.window_->filesDirectoryEdit->text(), chosen);
    EXPECT_EQ(t.buttonStates(), "10011 1");
    EXPECT_EQ(t.projectFileText(), before);
}
