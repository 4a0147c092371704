#pragma once
#include <QDialog>

namespace tharvel {

// The About window: created hidden at start, shown modally by the main window's
// "About" button. The web services add its content and its activation work.
class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);
};

}  // namespace tharvel
