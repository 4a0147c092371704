#pragma once
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "projects/VT.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableView;
class QToolButton;
class QButtonGroup;

namespace tharvel {

class NotificationQueue;
class ProjectListModel;
class TBackUpThread;
struct TBackupRecord;
class ProjectRules;
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

    // Who makes the backup runs' jobs; the backup job of the core unless set.
    void setBackupJobFactory(std::function<std::shared_ptr<TBackUpThread>(const TBackupRecord&,
                                                                          std::shared_ptr<NotificationQueue>)>
                                 factory) {
        backupJobFactory_ = std::move(factory);
    }

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
    QPushButton* btnOptions;
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
    // Those edits with the column each one shows and edits.
    std::vector<std::pair<QLineEdit*, VTColumn>> boundColumns() const;

    // The project table and the project file's path (set when first shown).
    VT& table() { return VT_; }
    const std::filesystem::path& projectFileName() const { return ProjectFileName; }
    // The log file that "View Log" opens.
    static std::filesystem::path logFileName();

    // The ten characters the password edit shows in place of the stored password.
    static QString passwordPlaceholder() { return QStringLiteral("0123456789"); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildLayout();
    void connectEditor();
    void FormShow();
    void FormActivate();
    void spbtnAboutClick();
    void spbtnContactUsClick();
    void spbtnExitClick();
    void Image1Click();

    // Table handlers.
    void VTAfterScroll();
    void VTAfterEdit();
    void VTAfterPost();
    // Buttons.
    void btnInsertClick();
    void btnEditClick();
    void btnDeleteClick();
    void btnSaveClick();
    void btnCancelClick();
    void btnFilesDirectoryClick();
    void btnBackupDirectoryClick();
    void pickFolder(const QString& title, VTColumn column);
    void btnOptionsClick();
    void tbnClearPasswClick();
    void btnTestConectionClick();
    void spbtnBackupSelectedProjectClick();
    void spbtnBackupAllProjectsClick();
    void runBackup(int mode);
    void SpBtnViewLogClick();
    // Password edit.
    void EdtMySQLPasswordEnter();
    void EdtMySQLPasswordChange(const QString& text);
    void EdtMySQLPasswordExit();
    void EditEnter(QLineEdit* edit);
    void EditExit(QLineEdit* edit);

    // A bound control changed by the user: edit, then store the value.
    void userChanged(VTColumn column, VTValue value);
    // Runs a table operation; a post refused for a missing name shows the warning.
    // False when the operation was refused or failed.
    bool tableCall(const std::function<void()>& operation);
    // Shows the current row in the bound controls and the project list.
    void showCurrentRow();
    void selectCurrentRowInList();
    void onListRowChanged(int row);
    void setEditingButtons();
    void setBrowseButtons(bool hasRows);

    VT VT_;
    std::unique_ptr<ProjectRules> rules_;
    std::filesystem::path ProjectFileName;
    ProjectListModel* listModel_ = nullptr;
    QButtonGroup* skipFilesGroup_ = nullptr;
    int passwordTag_ = 0;
    bool showingRow_ = false;
    bool holdControls_ = false;
    bool highlightAttached_ = false;

    TAboutForm* aboutForm_ = nullptr;
    Tcontactmessage* contactForm_ = nullptr;
    std::vector<std::function<void()>> activationHooks_;
    QString makerSiteAddress_;
    std::function<std::shared_ptr<TBackUpThread>(const TBackupRecord&, std::shared_ptr<NotificationQueue>)>
        backupJobFactory_;
    bool shown_ = false;
};

}  // namespace tharvel
