#pragma once
#include <QDialog>

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tharvel {

class Connectivity;
class MakerService;
class Updater;

// The About window: the maker's product text and, when the maker publishes another
// version, the button that updates to it. Created hidden at start, shown modally by
// the main window's "About" button; every showing repeats the version check.
class AboutWindow : public QDialog {
    Q_OBJECT
public:
    AboutWindow(Connectivity& connectivity, MakerService& maker, Updater& updater, QWidget* parent = nullptr);

    // The maker's web site that the link opens.
    static QString makerSiteAddress();

    QGroupBox* frame;
    QPlainTextEdit* productText;
    QPushButton* updateButton;
    QLabel* siteLink;
    QPushButton* exitButton;

    // Handlers; errors they meet go to the general error box.
    void loadProductInfo();
    void updateToLatest();
    void openMakerSite();

    // closing (Exit, Escape, the close box) waits while an update is under way.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Connectivity& connectivity_;
    MakerService& maker_;
    Updater& updater_;
    bool checking_ = false;
    bool updating_ = false;
};

}  // namespace tharvel
