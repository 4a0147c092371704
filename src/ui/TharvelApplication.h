#pragma once
#include <QApplication>

namespace tharvel {

// The desktop application: an error escaping any event handler is shown in the
// general error box instead of ending the program.
class TharvelApplication : public QApplication {
    Q_OBJECT
public:
    TharvelApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace tharvel
