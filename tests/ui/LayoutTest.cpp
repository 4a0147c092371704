#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>

#include "ui/MainWindow.h"
#include "ui/ProgressWindow.h"
#include "ui/ProjectOptionsWindow.h"

using namespace tharvel;

namespace {

QString plainText(QString text) {
    return text.remove(QLatin1Char('&'));
}

// Every caption fits the control that shows it.
void expectNothingClipped(QWidget* window) {
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const QFontMetrics fm(w->font());
        const std::string name = w->objectName().toStdString() + " (" + w->metaObject()->className() + ")";
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->wordWrap() || !label->pixmap().isNull() || label->text().isEmpty()) continue;
            EXPECT_LE(fm.horizontalAdvance(label->text()), label->width()) << name;
            EXPECT_LE(fm.height(), label->height()) << name;
        } else if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w) ||
                   qobject_cast<QToolButton*>(w)) {
            EXPECT_LE(w->sizeHint().width(), w->width()) << name;
            EXPECT_LE(fm.height(), w->height()) << name;
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            int content = fm.horizontalAdvance(plainText(button->text()));
            if (!button->icon().isNull()) content += button->iconSize().width() + 4;
            const int margin = 2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
            EXPECT_LE(content + margin, button->width()) << name;
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            EXPECT_LE(fm.horizontalAdvance(group->title()) + 16, group->width()) << name;
        }
        // A caption's text runs into no other visible control beside it.
        if (auto* label = qobject_cast<QLabel*>(w);
            label && label->isVisibleTo(window) && !label->text().isEmpty()) {
            QRect text = label->geometry();
            if (!label->wordWrap()) text.setWidth(fm.horizontalAdvance(label->text()));
            for (QObject* o : label->parentWidget()->children()) {
                auto* sibling = qobject_cast<QWidget*>(o);
                if (!sibling || sibling == label || !sibling->isVisibleTo(window)) continue;
                EXPECT_FALSE(text.intersects(sibling->geometry()))
                    << name << " runs into " << sibling->objectName().toStdString();
            }
        }
        // Children stay inside their parent.
        if (w->parentWidget() && w->isVisibleTo(window)) {
            EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry())) << name;
        }
    }
}

}  // namespace

TEST(Layout, MainWindowShowsEveryCaptionInFull) {
    MainWindow form;
    form.lastBackupLabel->setText(QStringLiteral("31/12/2026 23:59:59"));
    form.show();
    EXPECT_EQ(form.size(), QSize(824, 572));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    // The outcome labels share one place; each is checked on its own.
    for (QLabel* outcome : {form.successLabel, form.errorLabel, form.cancelledLabel}) {
        SCOPED_TRACE(outcome->objectName().toStdString());
        outcome->show();
        expectNothingClipped(&form);
        outcome->hide();
    }
}

TEST(Layout, ProgressWindowShowsEveryCaptionInFull) {
    ProgressWindow form;
    form.show();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("BackUp Progress"));
    EXPECT_EQ(form.size(), QSize(462, 229));
    expectNothingClipped(&form);
}

TEST(Layout, ProjectOptionsWindowShowsEveryCaptionInFull) {
    ProjectOptionsWindow form(ProjectTable::Row{});
    form.show();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Project options"));
    expectNothingClipped(&form);
}

TEST(Layout, ProgressBarsShowPositionsAboveTheEndAsFull) {
    ProgressWindow form;
    for (auto [position, shown] : {std::pair{0, 0}, {50, 50}, {100, 100}, {117, 100}, {-3, 0}}) {
        ProgressWindow::setPosition(form.stepProgress, position);
        EXPECT_EQ(form.stepProgress->value(), shown) << position;
    }
}
