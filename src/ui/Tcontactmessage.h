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
class Tcontactmessage : public QDialog {
    Q_OBJECT
public:
    Tcontactmessage(Connectivity& connectivity, MakerService& maker, QWidget* parent = nullptr);

    static QString emailPlaceholder() { return QStringLiteral("Put your email here"); }

    QLabel* Label1;
    QLineEdit* Edit1;
    QLabel* Label3;
    QLabel* Label2;
    QPlainTextEdit* Memo1;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    QPlainTextEdit* RichEdit1;
    QLabel* Image1;

    // Handlers; errors they meet go to the general error box.
    void FormActivate();
    void Edit1Enter();
    void Edit1Exit();
    void BitBtn1Click();

    // Closing (Exit, Escape, the close box) waits while a message is being sent.
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
