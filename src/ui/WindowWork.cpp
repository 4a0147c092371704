#include "ui/WindowWork.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <exception>
#include <thread>

namespace tharvel {

void WindowWork::runErased(std::initializer_list<QWidget*> disable, const std::function<void()>& work) {
    std::vector<QPointer<QWidget>> disabled;
    for (QWidget* widget : disable)
        if (widget && widget->isEnabled()) {
            widget->setEnabled(false);
            disabled.emplace_back(widget);
        }
    QApplication::setOverrideCursor(Qt::BusyCursor);
    std::exception_ptr error;
    {
        QEventLoop loop;
        std::atomic<bool> done{false};
        // The loop looks for the end itself: nothing crosses threads but `done`,
        // and the thread's end (its join) hands over the result.
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (done.load()) loop.quit();
        });
        std::jthread worker([&] {
            try {
                work();
            } catch (...) {
                error = std::current_exception();
            }
            done.store(true);
        });
        poll.start();
        // The loop also ends when the application quits; the work is then waited for.
        loop.exec();
    }
    QApplication::restoreOverrideCursor();
    for (const auto& widget : disabled)
        if (widget) widget->setEnabled(true);
    if (error) std::rethrow_exception(error);
}

}  // namespace tharvel
