#pragma once
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <ostream>
#include <vector>

class QWidget;

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace tharvel::test {

// What a message box showed.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
};

// Answers the message boxes that the code under test opens: each box is recorded
// and closed by clicking the button with the given text ("OK", "&Yes", "&No").
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(QString answer = QStringLiteral("OK"));
    ~MessageBoxAnswerer();
    void setAnswer(const QString& answer) { answer_ = answer; }
    // Called with each box before it is answered (for pictures).
    void setInspector(std::function<void(QMessageBox*)> inspector) { inspector_ = std::move(inspector); }
    const std::vector<SeenBox>& seen() const { return seen_; }
    void clear() { seen_.clear(); }

private:
    void poll();
    QString answer_;
    QTimer timer_;
    std::vector<SeenBox> seen_;
    std::function<void(QMessageBox*)> inspector_;
};

// Takes the URLs that the program asks the desktop to open, for one scheme, while
// it lives: nothing is launched.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    explicit UrlCatcher(QString scheme);
    ~UrlCatcher() override;
    const std::vector<QUrl>& urls() const { return urls_; }

public slots:
    void open(const QUrl& url) { urls_.push_back(url); }

private:
    QString scheme_;
    std::vector<QUrl> urls_;
};

// Handles pending events until the predicate holds (the jobs post from other
// threads); gives up after a generous bound so that a fault fails instead of hanging.
bool processEventsUntil(const std::function<bool()>& predicate, int maxMilliseconds = 60000);

}  // namespace tharvel::test
