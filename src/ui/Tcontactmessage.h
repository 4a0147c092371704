#pragma once
#include <QDialog>

namespace tharvel {

// The contact window: created hidden at start, shown modally by the main window's
// "Contact Us" button. The web services add its content and its activation work.
class Tcontactmessage : public QDialog {
    Q_OBJECT
public:
    explicit Tcontactmessage(QWidget* parent = nullptr);
};

}  // namespace tharvel
