#include "ui/QtPlatformGuard.h"

#include <unistd.h>

#include <cstdio>

#include "platform/DesktopLauncher.h"

namespace tharvel {
namespace {

struct HeldMessage {
    QtMsgType type;
    QString message;
};

// The message handler is process-wide, and so is what it holds back.
std::vector<HeldMessage>& held() {
    static std::vector<HeldMessage> messages;
    return messages;
}

}  // namespace

QtPlatformGuard::QtPlatformGuard() : previous_(qInstallMessageHandler(&QtPlatformGuard::handle)) {}

QtPlatformGuard::~QtPlatformGuard() {
    qInstallMessageHandler(previous_);
    auto messages = std::move(held());
    held().clear();
    for (const auto& m : messages) {
        // The context (file, line) is gone; the text is what a reader needs.
        QMessageLogContext context;
        qt_message_output(m.type, context, m.message);
    }
}

void QtPlatformGuard::handle(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", DesktopLauncher::displayFailedMessage().c_str());
        std::fflush(stderr);
        // Nothing else is in a state to be torn down.
        _exit(1);
    }
    held().push_back({type, message});
}

}  // namespace tharvel
