#pragma once
#include <QString>
#include <exception>
#include <utility>

class QWidget;

namespace tharvel {

// Shows an error that escaped an event handler: the message with a full stop added
// after a final letter or digit, an error icon, the application title and OK.
class GeneralErrorBox {
public:
    static QString messageText(const QString& message);
    static void show(QWidget* parent, const QString& message);
    static void show(QWidget* parent, const std::exception& error);

    // Runs a handler body; whatever it throws ends up in the box.
    template <typename Body>
    static void guard(QWidget* parent, Body&& body) {
        try {
            std::forward<Body>(body)();
        } catch (const std::exception& error) {
            show(parent, error);
        } catch (...) {
            show(parent, QStringLiteral("Unknown error"));
        }
    }
};

}  // namespace tharvel
