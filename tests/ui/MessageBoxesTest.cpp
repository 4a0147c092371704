#include <gtest/gtest.h>

#include <QApplication>
#include <stdexcept>

#include "UiTestSupport.h"
#include "ui/GeneralErrorBox.h"
#include "ui/MessageBoxes.h"

using namespace tharvel;
using tharvel::test::MessageBoxAnswerer;

TEST(MessageBoxes, KindsCarryTheirCaptionsIconsAndButtons) {
    const QString title = MessageBoxes::applicationTitle();
    struct Case {
        std::function<void()> show;
        QString title;
        QMessageBox::Icon icon;
        QStringList buttons;
    };
    const Case cases[] = {
        {[] { MessageBoxes::information(nullptr, "i"); }, "Information", QMessageBox::Information, {"OK"}},
        {[] { MessageBoxes::warning(nullptr, "w"); }, "Warning", QMessageBox::Warning, {"OK"}},
        {[] { MessageBoxes::error(nullptr, "e"); }, "Error", QMessageBox::Critical, {"OK"}},
        {[] { MessageBoxes::confirm(nullptr, "c"); }, "Confirm", QMessageBox::Question, {"&Yes", "&No"}},
        {[] { MessageBoxes::plain(nullptr, "p"); }, title, QMessageBox::NoIcon, {"OK"}},
    };
    for (const Case& c : cases) {
        MessageBoxAnswerer answerer(c.buttons.back());
        c.show();
        ASSERT_EQ(answerer.seen().size(), 1u) << c.title.toStdString();
        EXPECT_EQ(answerer.seen()[0].title, c.title);
        EXPECT_EQ(answerer.seen()[0].icon, c.icon) << c.title.toStdString();
        EXPECT_EQ(answerer.seen()[0].buttons, c.buttons) << c.title.toStdString();
    }
}

TEST(MessageBoxes, ConfirmationIsTrueOnlyForYes) {
    MessageBoxAnswerer yes(QStringLiteral("&Yes"));
    EXPECT_TRUE(MessageBoxes::confirm(nullptr, QStringLiteral("Delete project?")));
    yes.setAnswer(QStringLiteral("&No"));
    EXPECT_FALSE(MessageBoxes::confirm(nullptr, QStringLiteral("Delete project?")));
    yes.setAnswer(QStringLiteral("none: the box is closed"));
    EXPECT_FALSE(MessageBoxes::confirm(nullptr, QStringLiteral("Delete project?")));
    ASSERT_EQ(yes.seen().size(), 3u);
    EXPECT_EQ(yes.seen()[0].text, QStringLiteral("Delete project?"));
}

TEST(MessageBoxes, ApplicationTitleIsTheExecutableName) {
    EXPECT_EQ(MessageBoxes::applicationTitle(), QStringLiteral("test_ui"));
}

TEST(GeneralErrorBox, AddsAFullStopOnlyAfterALetterOrDigit) {
    const std::pair<QString, QString> cases[] = {
        {"Access denied", "Access denied."},
        {"Can't connect to MySQL server on 'h' (111)", "Can't connect to MySQL server on 'h' (111)"},
        {"Port 3306", "Port 3306."},
        {"Done.", "Done."},
        {"Really?", "Really?"},
        {"Ende \u00fc", "Ende \u00fc."},
        {"trailing blank ", "trailing blank "},
        {"", ""},
    };
    for (const auto& [message, shown] : cases) EXPECT_EQ(GeneralErrorBox::messageText(message), shown);
}

TEST(GeneralErrorBox, ShowsAnEscapedErrorWithTheApplicationTitle) {
    MessageBoxAnswerer answerer;
    GeneralErrorBox::guard(nullptr, [] { throw std::runtime_error("Unknown MySQL server host 'nowhere'"); });
    ASSERT_EQ(answerer.seen().size(), 1u);
    EXPECT_EQ(answerer.seen()[0].title, MessageBoxes::applicationTitle());
    EXPECT_EQ(answerer.seen()[0].text, QStringLiteral("Unknown MySQL server host 'nowhere'"));
    EXPECT_EQ(answerer.seen()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(answerer.seen()[0].buttons, QStringList{"OK"});
}
