#include "MainWindowDriver.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>

namespace tharvel::test {

MainWindowDriver::MainWindowDriver() {
    qputenv("THARVEL_HOME", QByteArray::fromStdString(home_.path().string()));
    window_ = std::make_unique<MainWindow>();
}

MainWindowDriver::~MainWindowDriver() {
    window_.reset();
    qunsetenv("THARVEL_HOME");
}

void MainWindowDriver::writeProjects(const std::string& lines) {
    std::string text;
    size_t start = 0;
    while (start < lines.size()) {
        size_t end = lines.find('\n', start);
        if (end == std::string::npos) end = lines.size();
        text += lines.substr(start, end - start) + "\r\n";
        start = end + 1;
    }
    writeFile(projectFile(), text);
}

std::string MainWindowDriver::projectFileText() const {
    const std::string bytes = readFile(projectFile());
    if (bytes.size() < 2 || bytes.substr(0, 2) != "\xFF\xFE") return "(no UTF-16 mark) " + bytes;
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.data() + 2),
                                            static_cast<qsizetype>((bytes.size() - 2) / 2));
    return text.toStdString();
}

bool MainWindowDriver::show() {
    window_->show();
    QApplication::setActiveWindow(window_.get());
    return QTest::qWaitForWindowActive(window_.get());
}

std::string MainWindowDriver::buttonStates() const {
    auto on = [](const QWidget* w) { return w->isEnabled() ? '1' : '0'; };
    std::string s{on(window_->newProjectButton), on(window_->editButton),   on(window_->deleteButton),
                  on(window_->saveButton),       on(window_->cancelButton), ' '};
    const QWidget* group[] = {window_->projectGroup, window_->projectList, window_->backUpAllButton,
                              window_->backUpSelectedButton};
    bool all = true, none = true;
    for (const QWidget* w : group) (w->isEnabled() ? none : all) = false;
    s += all ? '1' : none ? '0' : '?';
    return s;
}

void MainWindowDriver::click(QWidget* widget) {
    if (!widget->isEnabled()) ADD_FAILURE() << widget->objectName().toStdString() << " is disabled";
    // Buttons take the focus when clicked, as on the desktop.
    if (widget->focusPolicy() & Qt::ClickFocus) focus(widget);
    QTest::mouseClick(widget, Qt::LeftButton);
}

void MainWindowDriver::typeInto(QWidget* widget, const QString& text) {
    focus(widget);
    QTest::keyClicks(widget, text);
}

void MainWindowDriver::focus(QWidget* widget) {
    widget->setFocus(Qt::MouseFocusReason);
    QApplication::processEvents();
}

}  // namespace tharvel::test
