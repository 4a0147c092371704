#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "MainWindowDriver.h"
#include "UiTestSupport.h"
#include "support/MariaDb.h"
#include "ui/MessageBoxes.h"

using namespace tharvel;
using namespace tharvel::test;

// The button tests the row as it stands in the editor, password typed just before
// included; failures go to the general error box.
TEST(ConnectionButton, ReportsSuccessOrTheConnectionsError) {
    MariaDb& db = MariaDb::shared();
    struct Case {
        const char* name;
        std::string port;
        QString password;
        QString title;     // of the box shown
        QString textPart;  // of its text
    };
    const QString app = MessageBoxes::applicationTitle();
    const Case cases[] = {
        {"right password", std::to_string(db.port()), QString::fromStdString(db.password()), "Information",
         "Success!"},
        {"wrong password", std::to_string(db.port()), "wrong", app, "Access denied for user 'tharvel'"},
        {"nobody listens", "1", "", app, "Can't connect to MySQL server on '127.0.0.1' (10061)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MainWindowDriver t;
        t.writeProjects("[Db]\nMySQLServer=127.0.0.1\nMySQLPort=" + c.port + "\nMySQLUser=" + db.user() +
                        "\n");
        ASSERT_TRUE(t.show());
        if (!c.password.isEmpty()) t.typeInto(t.window_->passwordEdit, c.password);
        MessageBoxAnswerer ok;
        t.click(t.window_->testConnectionButton);
        ASSERT_EQ(ok.seen().size(), 1u);
        EXPECT_EQ(ok.seen()[0].title, c.title);
        EXPECT_TRUE(ok.seen()[0].text.contains(c.textPart)) << ok.seen()[0].text.toStdString();
        EXPECT_EQ(ok.seen()[0].icon,
                  c.title == "Information" ? QMessageBox::Information : QMessageBox::Critical);
    }
}
