#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <functional>

#include "MainWindowDriver.h"
#include "UiTestSupport.h"
#include "projects/ProjectTable.h"
#include "ui/ProjectOptionsWindow.h"

using namespace tharvel;
using namespace tharvel::test;

namespace {

// Answers the options window: records what it showed, lets `change` set its
// controls, then clicks OK or Cancel.
struct OptionsAnswer {
    struct Shown {
        QString compression, tls, ca;
        int keep = -1;
    };
    QTimer timer;
    int seen = 0;
    Shown shown;
    OptionsAnswer(std::function<void(ProjectOptionsWindow&)> change, bool ok) {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [this, change, ok] {
            auto* form = qobject_cast<ProjectOptionsWindow*>(QApplication::activeModalWidget());
            if (!form || !form->isVisible()) return;
            timer.stop();  // `change` may open a window of its own
            ++seen;
            shown = {form->compressionBox->currentText(), form->tlsBox->currentText(),
                     form->caFileEdit->text(), form->keepDailyDumpsBox->value()};
            if (change) change(*form);
            QTest::mouseClick(ok ? form->okButton : form->cancelButton, Qt::LeftButton);
        });
        timer.start();
    }
};

void setAll(ProjectOptionsWindow& form) {
    form.compressionBox->setCurrentIndex(1);
    form.keepDailyDumpsBox->setValue(7);
    form.tlsBox->setCurrentIndex(3);
    form.caFileEdit->setText(QStringLiteral("/etc/ssl/our ca.pem"));
}

void setDefaults(ProjectOptionsWindow& form) {
    form.compressionBox->setCurrentIndex(0);
    form.keepDailyDumpsBox->setValue(0);
    form.tlsBox->setCurrentIndex(1);
    form.caFileEdit->clear();
}

const char* kProject = "[Site]\nMySQLServer=db\nMySQLDataBase=site\nBackupDirectory=/srv/backups\n";
const char* kAllSet =
    "LastBackup=\r\nMySQLTLS=verify\r\nMySQLTLSCA=/etc/ssl/our ca.pem\r\nDumpCompression=gzip\r\n"
    "KeepDailyDumps=7\r\n\r\n";

}  // namespace

TEST(ProjectOptions, ValuesReachTheProjectFileAndDefaultsLeaveNoLine) {
    MainWindowDriver t;
    t.writeProjects(kProject);
    ASSERT_TRUE(t.show());
    const std::string plain = t.projectFileText();
    {
        OptionsAnswer answer(setAll, true);
        t.click(t.window_->optionsButton);
        EXPECT_EQ(answer.seen, 1);
        EXPECT_EQ(answer.shown.compression, "None (.sql)");
        EXPECT_EQ(answer.shown.tls, "Preferred");
        EXPECT_EQ(answer.shown.ca, "");
        EXPECT_EQ(answer.shown.keep, 0);
    }
    EXPECT_NE(t.projectFileText().find(kAllSet), std::string::npos) << t.projectFileText();
    EXPECT_EQ(t.window_->table().state(), ProjectTable::State::Browsing);
    EXPECT_EQ(t.buttonStates(), "11100 1");
    {
        OptionsAnswer answer(setDefaults, true);
        t.click(t.window_->optionsButton);
        EXPECT_EQ(answer.shown.compression, "gzip (.sql.gz)");
        EXPECT_EQ(answer.shown.tls, "Required, verify the server");
        EXPECT_EQ(answer.shown.ca, "/etc/ssl/our ca.pem");
        EXPECT_EQ(answer.shown.keep, 7);
    }
    EXPECT_EQ(t.projectFileText(), plain);
}

TEST(ProjectOptions, CancelOrAnUntouchedOkChangesNothing) {
    // Settings written by hand in forms the window does not offer stay as they are.
    const std::string handWritten =
        std::string(kProject) + "DumpCompression=GZIP\nKeepDailyDumps=abc\nMySQLTLS=sometimes\n";
    for (const std::string& projects : {std::string(kProject), handWritten}) {
        MainWindowDriver t;
        t.writeProjects(projects);
        ASSERT_TRUE(t.show());
        const std::string before = readFile(t.projectFile());
        {
            OptionsAnswer answer(setAll, false);
            t.click(t.window_->optionsButton);
            EXPECT_EQ(answer.seen, 1);
        }
        EXPECT_EQ(t.window_->table().state(), ProjectTable::State::Browsing);
        EXPECT_EQ(t.buttonStates(), "11100 1");
        {
            OptionsAnswer answer(nullptr, true);
            t.click(t.window_->optionsButton);
            EXPECT_EQ(answer.seen, 1);
            if (projects == handWritten) {
                EXPECT_EQ(answer.shown.compression, "gzip (.sql.gz)");
                EXPECT_EQ(answer.shown.tls, "sometimes (unknown)");
            }
        }
        EXPECT_EQ(t.window_->table().state(), ProjectTable::State::Browsing);
        EXPECT_EQ(readFile(t.projectFile()), before);
    }
}

TEST(ProjectOptions, OkPostsThePendingEditLikeSave) {
    MainWindowDriver t;
    t.writeProjects(kProject);
    ASSERT_TRUE(t.show());
    t.typeInto(t.window_->serverEdit, QStringLiteral("2"));
    EXPECT_EQ(t.buttonStates(), "10011 1");
    {
        OptionsAnswer answer([](ProjectOptionsWindow& form) { form.compressionBox->setCurrentIndex(2); },
                             true);
        t.click(t.window_->optionsButton);
    }
    EXPECT_EQ(t.window_->table().state(), ProjectTable::State::Browsing);
    EXPECT_EQ(t.buttonStates(), "11100 1");
    const std::string file = t.projectFileText();
    EXPECT_NE(file.find("MySQLServer=db2\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("LastBackup=\r\nDumpCompression=zstd\r\n\r\n"), std::string::npos) << file;

    // A new project without a name is refused as Save refuses it, keeping the choice.
    t.click(t.window_->newProjectButton);
    const std::string before = t.projectFileText();
    MessageBoxAnswerer boxes;
    {
        OptionsAnswer answer([](ProjectOptionsWindow& form) { form.keepDailyDumpsBox->setValue(3); }, true);
        t.click(t.window_->optionsButton);
    }
    ASSERT_EQ(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].text, "Project Name is missing");
    EXPECT_EQ(t.window_->table().state(), ProjectTable::State::Inserting);
    EXPECT_EQ(t.window_->table().value(ProjectColumn::KeepDailyDumps).toText(), "3");
    EXPECT_EQ(t.buttonStates(), "10011 1");
    EXPECT_EQ(t.projectFileText(), before);
}

TEST(ProjectOptions, TheCaFileIsPickedFromTheFileSystem) {
    MainWindowDriver t;
    t.writeProjects(kProject);
    writeFile(t.home_ / "ca.pem", "-----BEGIN CERTIFICATE-----\n");
    ASSERT_TRUE(t.show());
    const QString ca = QString::fromStdString((t.home_ / "ca.pem").string());
    for (const QString& answer : {ca, QString()}) {
        QString title;
        QTimer files;
        files.setInterval(0);
        QObject::connect(&files, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible()) return;
            files.stop();
            title = dialog->windowTitle();
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (answer.isEmpty() || !name) return dialog->reject();
            name->setText(answer);
            QTest::keyClick(name, Qt::Key_Return);
        });
        QString picked;
        OptionsAnswer options(
            [&](ProjectOptionsWindow& form) {
                files.start();
                QTest::mouseClick(form.caFileButton, Qt::LeftButton);
                picked = form.caFileEdit->text();
            },
            true);
        t.click(t.window_->optionsButton);
        EXPECT_EQ(title, "CA file");
        // Cancelling the file dialog keeps the file picked before.
        EXPECT_EQ(picked, ca);
    }
    EXPECT_NE(t.projectFileText().find("LastBackup=\r\nMySQLTLSCA=" + ca.toStdString() + "\r\n\r\n"),
              std::string::npos)
        << t.projectFileText();
}
