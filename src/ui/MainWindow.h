#pragma once
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "backup/BackupRun.h"
#include "projects/ProjectTable.h"

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
class BackupJob;
struct BackupProject;
class ProjectRules;
class AboutWindow;
class ContactWindow;

// The main window: project list, project editor, backup commands.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The long-lived windows that the "About" and "Contact Us" buttons show.
    void setAboutWindow(AboutWindow* form) { aboutWindow_ = form; }
    void setContactWindow(ContactWindow* form) { contactWindow_ = form; }

    // Work run at every activation of this window (at start, and whenever a window
    // it showed modally has closed), in the order added.
    void addActivationHook(std::function<void()> hook) { activationHooks_.push_back(std::move(hook)); }

    // Who makes the backup runs' jobs; the backup job of the core unless set.
    void setBackupJobFactory(
        std::function<std::shared_ptr<BackupJob>(const BackupProject&, std::shared_ptr<NotificationQueue>)>
            factory) {
        backupJobFactory_ = std::move(factory);
    }

    // The address that the logo opens.
    void setMakerSiteAddress(const QString& address) { makerSiteAddress_ = address; }
    QString makerSiteAddress() const { return makerSiteAddress_; }

    // Top bar.
    QToolButton* aboutButton;
    QToolButton* contactButton;
    QToolButton* exitButton;
    QLabel* logo;
    // Project list and editor.
    QTableView* projectList;
    QPushButton* newProjectButton;
    QGroupBox* projectGroup;
    QLineEdit* projectNameEdit;
    QPushButton* optionsButton;
    QGroupBox* databaseGroup;
    QLineEdit* serverEdit;
    QLineEdit* portEdit;
    QLineEdit* databaseEdit;
    QLineEdit* userEdit;
    QLineEdit* passwordEdit;
    QToolButton* clearPasswordButton;
    QCheckBox* newBackupEachDayCheck;
    QPushButton* testConnectionButton;
    QGroupBox* filesGroup;
    QLineEdit* filesDirectoryEdit;
    QPushButton* filesDirectoryButton;
    QGroupBox* skipFilesGroup;
    QRadioButton* skipExistingRadio;
    QRadioButton* overwriteRadio;
    QRadioButton* overwriteOlderRadio;
    QGroupBox* destinationGroup;
    QLineEdit* backupDirectoryEdit;
    QPushButton* backupDirectoryButton;
    QLabel* lastBackupLabel;
    QPushButton* deleteButton;
    QPushButton* editButton;
    QPushButton* saveButton;
    QPushButton* cancelButton;
    // Commands.
    QToolButton* backUpAllButton;
    QToolButton* backUpSelectedButton;
    QLabel* successLabel;
    QLabel* errorLabel;
    QLabel* cancelledLabel;
    QToolButton* viewLogButton;

    // The seven bound edits that take the focus highlight.
    std::vector<QLineEdit*> boundEdits() const;
    // Those edits with the column each one shows and edits.
    std::vector<std::pair<QLineEdit*, ProjectColumn>> boundColumns() const;

    // The project table and the project file's path (set when first shown).
    ProjectTable& table() { return table_; }
    const std::filesystem::path& projectFileName() const { return projectFileName_; }
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
    void loadProjects();
    void activate();
    void showAbout();
    void showContact();
    void exitProgram();
    void openMakerSite();

    // Table handlers.
    void onTableScrolled();
    void onTableEdited();
    void onTablePosted();
    // Buttons.
    void newProject();
    void editProject();
    void deleteProject();
    void saveProject();
    void cancelEditing();
    void pickFilesDirectory();
    void pickBackupDirectory();
    void pickFolder(const QString& title, ProjectColumn column);
    void editOptions();
    void clearPassword();
    void testConnection();
    void backUpSelectedProject();
    void backUpAllProjects();
    void runBackup(BackupRun::Mode mode);
    void viewLog();
    // Password edit.
    void startPasswordEntry();
    void beginPasswordEdit(const QString& text);
    void finishPasswordEntry();
    void highlightEdit(QLineEdit* edit);
    void unhighlightEdit(QLineEdit* edit);

    // A bound control changed by the user: edit, then store the value.
    void userChanged(ProjectColumn column, ProjectValue value);
    // Runs a table operation; a post refused for a missing name shows the warning.
    // False when the operation was refused or failed.
    bool tableCall(const std::function<void()>& operation);
    // Shows the current row in the bound controls and the project list.
    void showCurrentRow();
    void selectCurrentRowInList();
    void onListRowChanged(int row);
    void setEditingButtons();
    void setBrowseButtons(bool hasRows);

    ProjectTable table_;
    std::unique_ptr<ProjectRules> rules_;
    std::filesystem::path projectFileName_;
    ProjectListModel* listModel_ = nullptr;
    QButtonGroup* skipFilesButtons_ = nullptr;
    // Set once the user types into the password edit, and while the edit shows the
    // placeholder again; cleared when the entry is finished.
    bool passwordTyped_ = false;
    bool showingRow_ = false;
    bool holdControls_ = false;
    bool highlightAttached_ = false;

    AboutWindow* aboutWindow_ = nullptr;
    ContactWindow* contactWindow_ = nullptr;
    std::vector<std::function<void()>> activationHooks_;
    QString makerSiteAddress_;
    std::function<std::shared_ptr<BackupJob>(const BackupProject&, std::shared_ptr<NotificationQueue>)>
        backupJobFactory_;
    bool shown_ = false;
};

}  // namespace tharvel
