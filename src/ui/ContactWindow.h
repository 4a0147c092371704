#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tharvel {

class Connectivity;
class MakerService;

// The contact window: a short message with an optional e-mail address for the
// maker, and the text the maker publishes for it. Created hidden at start, shown
// modally by the main window's "Contact Us" button.
class ContactWindow : public QDialog {
    Q_OBJECT
public:
    ContactWindow(Connectivity& connectivity, MakerService& maker, QWidget* parent = nullptr);

    static QString emailPlaceholder() { return QStringLiteral("Put your email here"); }

    QLabel* emailCaption;
    QLineEdit* emailEdit;
    QLabel* emailHint;
    QLabel* messageCaption;
    QPlainTextEdit* messageEdit;
    QPushButton* sendButton;
    QPushButton* exitButton;
    QPlainTextEdit* contactInfoText;
    QLabel* logo;

    // Handlers; errors they meet go to the general error box.
    void loadContactInfo();
    void clearEmailPlaceholder();
    void restoreEmailPlaceholder();
    void sendMessage();

    // closing (Exit, Escape, the close box) waits while a message is being sent.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Connectivity& connectivity_;
    MakerService& maker_;
    bool loading_ = false;
    bool sending_ = false;
};

}  // namespace tharvel
