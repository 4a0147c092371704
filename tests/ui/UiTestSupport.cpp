#include "UiTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QThread>

namespace tharvel::test {

MessageBoxAnswerer::MessageBoxAnswerer(QString answer) : answer_(std::move(answer)) {
    timer_.setInterval(0);
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start();
}

MessageBoxAnswerer::~MessageBoxAnswerer() {
    timer_.stop();
}

void MessageBoxAnswerer::poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    SeenBox seen{box->windowTitle(), box->text(), box->icon(), {}};
    QAbstractButton* target = nullptr;
    for (QAbstractButton* button : box->buttons()) {
        seen.buttons << button->text();
        if (button->text() == answer_) target = button;
    }
    seen_.push_back(seen);
    if (inspector_) inspector_(box);
    if (target) {
        target->click();
    } else {
        box->reject();
    }
}

UrlCatcher::UrlCatcher(QString scheme) : scheme_(std::move(scheme)) {
    QDesktopServices::setUrlHandler(scheme_, this, "open");
}

UrlCatcher::~UrlCatcher() {
    QDesktopServices::unsetUrlHandler(scheme_);
}

bool processEventsUntil(const std::function<bool()>& predicate, int maxMilliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (!predicate()) {
        if (clock.elapsed() > maxMilliseconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

}  // namespace tharvel::test
