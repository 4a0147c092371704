#pragma once
#include <QWidget>
#include <functional>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableView;
class QToolButton;

namespace tharvel {

class TAboutForm;
class Tcontactmessage;

// The main window: project list, project editor, backup commands.
class TMainForm : public QWidget {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // The long-lived windows that the "About" and "Contact Us" buttons show.
    void setAboutForm(TAboutForm* form) { aboutForm_ = form; }
    void setContactForm(Tcontactmessage* form) { contactForm_ = form; }

    // Work run at every activation of this window (at start, and whenever a window
    // it showed modally has closed), in the order added.
    void addActivationHook(std::function<void()> hook) { activationHooks_.push_back(std::move(hook)); }

    // The address that the logo opens.
    void setMakerSiteAddress(const QString& address) { makerSiteAddress_ = address; }
    QString makerSiteAddress() const { return makerSiteAddress_; }

    // Top bar.
    QToolButton* spbtnAbout;
    QToolButton* spbtnContactUs;
    QToolButton* spbtnExit;
    QLabel* Image1;
    // Project list and editor.
    QTableView* TntDBGrid1;
    QPushButton* btnInsert;
    QGroupBox* TntGroupBox3;
    QLineEdit* DBEdtProject;
    QGroupBox* TntGroupBox1;
    QLineEdit* DBEdtMySQLServer;
    QLineEdit* DBEdtMySQLPort;
    QLineEdit* DBEdtMySQLDataBase;
    QLineEdit* DBEdtMySQLUser;
    QLineEdit* EdtMySQLPassword;
    QToolButton* tbnClearPassw;
    QCheckBox* DBckbMySQLNewBackupEachDay;
    QPushButton* btnTestConection;
    QGroupBox* TntGroupBox2;
    QLineEdit* DBEdtFilesDirectory;
    QPushButton* btnFilesDirectory;
    QGroupBox* DBRadioGroup;
    QRadioButton* rbSkipExisting;
    QRadioButton* rbOverwrite;
    QRadioButton* rbOverwriteOlder;
    QGroupBox* TntGroupBox4;
    QLineEdit* DBEdtBackupDirectory;
    QPushButton* btnBackupDirectory;
    QLabel* DBTxtLastBackup;
    QPushButton* btnDelete;
    QPushButton* btnEdit;
    QPushButton* btnSave;
    QPushButton* btnCancel;
    // Commands.
    QToolButton* spbtnBackupAllProjects;
    QToolButton* spbtnBackupSelectedProject;
    QLabel* LabelSuccessful;
    QLabel* LabelError;
    QLabel* LabelCanceled;
    QToolButton* SpBtnViewLog;

    // The seven bound edits that take the focus highlight.
    std::vector<QLineEdit*> boundEdits() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildLayout();
    void FormShow();
    void FormActivate();
    void spbtnAboutClick();
    void spbtnContactUsClick();
    void spbtnExitClick();
    void Image1Click();

    TAboutForm* aboutForm_ = nullptr;
    Tcontactmessage* contactForm_ = nullptr;
    std::vector<std::function<void()>> activationHooks_;
    QString makerSiteAddress_;
    bool shown_ = false;
};

}  // namespace tharvel
