#include "ui/WindowWork.h"

#include <QApplication>
#include <QEventLoop>
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
        // Declared after the loop: joined before the loop goes, so its wake-up
        // never reaches a loop that is gone.
        std::jthread worker([&] {
            try {
                work();
            } catch (...) {
                error = std::current_exception();
            }
            done.store(true);
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        // The loop also ends when the application quits; the work is then waited for.
        if (!done.load()) loop.exec();
    }
    QApplication::restoreOverrideCursor();
    for (const auto& widget : disabled)
        if (widget) widget->setEnabled(true);
    if (error) std::rethrow_exception(error);
}

}  // namespace tharvel
