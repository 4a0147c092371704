#pragma once
#include <QString>
#include <QtGlobal>
#include <utility>
#include <vector>

namespace tharvel {

// Guards the start of the window platform: when Qt finds no usable display it
// ends the process with an abort and a core dump. While a guard lives, that
// fatal message ends the program with one line on standard error and exit code 1
// instead; other messages are held back and passed on when the guard goes.
class QtPlatformGuard {
public:
    QtPlatformGuard();
    ~QtPlatformGuard();
    QtPlatformGuard(const QtPlatformGuard&) = delete;
    QtPlatformGuard& operator=(const QtPlatformGuard&) = delete;

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message);

    QtMessageHandler previous_;
};

}  // namespace tharvel
