#include "ui/MainWindow.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDesktopServices>
#include <QEvent>
#include <QFileDialog>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTableView>
#include <QToolButton>
#include <QUrl>
#include <algorithm>

#include "backup/ConnectionTest.h"
#include "backup/LogFile.h"
#include "platform/AppPaths.h"
#include "projects/PasswordCipher.h"
#include "projects/ProjectFile.h"
#include "projects/ProjectRules.h"
#include "ui/AboutWindow.h"
#include "ui/ContactWindow.h"
#include "ui/GeneralErrorBox.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressWindow.h"
#include "ui/ProjectListModel.h"
#include "ui/ProjectOptionsWindow.h"
#include "ui/UiIcons.h"
#include "ui/UiLook.h"
#include "ui/WindowWork.h"

namespace tharvel {
namespace {

QLabel* label(QWidget* parent, const QString& text, int x, int y) {
    return UiLook::caption(parent, text, x, y);
}

QLineEdit* edit(QWidget* parent, const char* name, int x, int y, int w, int h) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(x, y, w, h);
    UiLook::setTextColour(e, UiLook::navy());
    return e;
}

QPushButton* button(QWidget* parent, const char* name, const QString& text, const QIcon& icon, int x, int y,
                    int w, int h) {
    auto* b = new QPushButton(icon, text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, y, w, h);
    b->setAutoDefault(false);
    return b;
}

QToolButton* flatButton(QWidget* parent, const char* name, const QString& text, const QIcon& icon, int x,
                        int y, int w, int h) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(text);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    if (!icon.isNull()) {
        b->setIcon(icon);
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    b->setGeometry(x, y, w, h);
    return b;
}

// Sees every modal window of the program close, and then calls back from the event
// loop, once the window is gone from the modal stack.
class ModalCloseWatcher : public QObject {
public:
    ModalCloseWatcher(QObject* parent, std::function<void()> closed)
        : QObject(parent), closed_(std::move(closed)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide && watched->isWidgetType()) {
            auto* window = static_cast<QWidget*>(watched);
            if (window->isWindow() && window->windowModality() != Qt::NonModal)
                QMetaObject::invokeMethod(this, closed_, Qt::QueuedConnection);
        }
        return false;
    }

private:
    std::function<void()> closed_;
};

// The stored form of a typed password.
std::string encipherPassword(const QString& typed) {
    return PasswordCipher::encipherPassword(typed.toStdString());
}

// Opens and closes a connection with the current row's settings (the edit buffer
// while editing), off the window's thread; throws the connection's error on failure.
void tryConnection(const ProjectTable& table, QWidget* button) {
    auto text = [&](ProjectColumn column) { return table.value(column).toText(); };
    WindowWork::run({button},
                    [server = text(ProjectColumn::MySQLServer), port = text(ProjectColumn::MySQLPort),
                     database = text(ProjectColumn::MySQLDataBase), user = text(ProjectColumn::MySQLUser),
                     password = text(ProjectColumn::MySQLPassword), tls = text(ProjectColumn::MySQLTLS),
                     tlsCa = text(ProjectColumn::MySQLTLSCA)] {
                        ConnectionTest::run(server, port, database, user, password, tls, tlsCa);
                    });
}

QLabel* outcomeLabel(QWidget* parent, const char* name, const QString& text, const QColor& colour, int y) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setFont(UiLook::boldFont());
    UiLook::setTextColour(l, colour);
    // Two lines at most: the right column is narrower than these captions in bold.
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setGeometry(664, y, 153, l->heightForWidth(153));
    l->hide();
    return l;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("MainWindow"));
    buildLayout();
    connectEditor();
}

MainWindow::~MainWindow() {
    // The list's model reads the table, which goes before the child widgets do.
    projectList->setModel(nullptr);
    delete listModel_;
    rules_.reset();
}

void MainWindow::buildLayout() {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QStringLiteral("Tharvel"));
    setFixedSize(824, 572);
    setFont(UiLook::baseFont());

    // Top bar.
    aboutButton = flatButton(this, "aboutButton", QStringLiteral("About"), UiIcons::about(), 307, 3, 73, 26);
    aboutButton->setToolTip(QStringLiteral("About"));
    contactButton =
        flatButton(this, "contactButton", QStringLiteral("Contact Us"), UiIcons::contact(), 387, 3, 98, 26);
    exitButton = flatButton(this, "exitButton", QStringLiteral("Exit"), UiIcons::exit(), 491, 3, 60, 26);
    exitButton->setToolTip(QStringLiteral("Exit"));
    logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("logo"));
    logo->setGeometry(560, 0, 260, 34);
    logo->setPixmap(UiIcons::logo(QSize(260, 34)));
    logo->setCursor(Qt::PointingHandCursor);
    logo->installEventFilter(this);

    // Project list.
    projectList = new QTableView(this);
    projectList->setObjectName(QStringLiteral("projectList"));
    projectList->setGeometry(8, 45, 241, 484);
    projectList->setFont(UiLook::boldFont(13));
    UiLook::setTextColour(projectList, UiLook::navy());
    projectList->horizontalHeader()->setFont(UiLook::baseFont());
    projectList->verticalHeader()->setDefaultSectionSize(20);
    projectList->verticalHeader()->setFixedWidth(14);
    projectList->setSelectionBehavior(QAbstractItemView::SelectRows);
    projectList->setSelectionMode(QAbstractItemView::SingleSelection);
    newProjectButton = button(this, "newProjectButton", QStringLiteral("New project"), UiIcons::newProject(),
                              8, 544, 241, 25);

    // Editor frame.
    projectGroup = new QGroupBox(this);
    projectGroup->setObjectName(QStringLiteral("projectGroup"));
    projectGroup->setGeometry(256, 40, 401, 489);
    label(projectGroup, QStringLiteral("Project Name"), 48, 28);
    projectNameEdit = edit(projectGroup, "projectNameEdit", 128, 24, 185, 21);
    projectNameEdit->setFont(UiLook::boldFont());
    optionsButton =
        button(projectGroup, "optionsButton", QStringLiteral("Options..."), QIcon(), 320, 23, 73, 23);

    databaseGroup = new QGroupBox(QStringLiteral("MySQL DataBase to backup"), projectGroup);
    databaseGroup->setObjectName(QStringLiteral("databaseGroup"));
    databaseGroup->setGeometry(8, 64, 385, 169);
    label(databaseGroup, QStringLiteral("Server"), 8, 22);
    serverEdit = edit(databaseGroup, "serverEdit", 8, 38, 113, 21);
    label(databaseGroup, QStringLiteral("Port"), 126, 22);
    portEdit = edit(databaseGroup, "portEdit", 126, 38, 57, 21);
    label(databaseGroup, QStringLiteral("DataBase"), 200, 22);
    databaseEdit = edit(databaseGroup, "databaseEdit", 200, 38, 175, 21);
    label(databaseGroup, QStringLiteral("User Name"), 8, 78);
    userEdit = edit(databaseGroup, "userEdit", 8, 94, 175, 21);
    label(databaseGroup, QStringLiteral("Password"), 200, 78);
    passwordEdit = new QLineEdit(databaseGroup);
    passwordEdit->setObjectName(QStringLiteral("passwordEdit"));
    passwordEdit->setGeometry(200, 94, 151, 22);
    passwordEdit->setEchoMode(QLineEdit::Password);
    passwordEdit->setText(passwordPlaceholder());
    clearPasswordButton = new QToolButton(databaseGroup);
    clearPasswordButton->setObjectName(QStringLiteral("clearPasswordButton"));
    clearPasswordButton->setGeometry(350, 93, 25, 23);
    clearPasswordButton->setIcon(UiIcons::clearPassword());
    clearPasswordButton->setToolTip(QStringLiteral("Clear Password"));
    // Takes the focus like the other buttons: a password being typed is stored
    // before it is cleared, never after.
    clearPasswordButton->setFocusPolicy(Qt::StrongFocus);
    newBackupEachDayCheck = new QCheckBox(QStringLiteral("New backup each day"), databaseGroup);
    newBackupEachDayCheck->setObjectName(QStringLiteral("newBackupEachDayCheck"));
    newBackupEachDayCheck->setGeometry(8, 136, 210, 17);
    testConnectionButton = button(databaseGroup, "testConnectionButton", QStringLiteral("Test conection"),
                                  UiIcons::testConnection(), 224, 130, 113, 25);

    filesGroup = new QGroupBox(QStringLiteral("Directory to backup"), projectGroup);
    filesGroup->setObjectName(QStringLiteral("filesGroup"));
    filesGroup->setGeometry(8, 248, 385, 113);
    label(filesGroup, QStringLiteral("Files Directory"), 8, 19);
    filesDirectoryEdit = edit(filesGroup, "filesDirectoryEdit", 8, 35, 345, 21);
    filesDirectoryButton =
        button(filesGroup, "filesDirectoryButton", QStringLiteral("..."), QIcon(), 352, 35, 23, 21);
    skipFilesGroup = new QGroupBox(filesGroup);
    skipFilesGroup->setObjectName(QStringLiteral("skipFilesGroup"));
    skipFilesGroup->setGeometry(8, 64, 369, 41);
    skipExistingRadio = new QRadioButton(QStringLiteral("Skip existing"), skipFilesGroup);
    overwriteRadio = new QRadioButton(QStringLiteral("Overwrite"), skipFilesGroup);
    overwriteOlderRadio = new QRadioButton(QStringLiteral("Overwrite older"), skipFilesGroup);
    skipFilesButtons_ = new QButtonGroup(this);
    QRadioButton* radios[] = {skipExistingRadio, overwriteRadio, overwriteOlderRadio};
    const QString radioNames[] = {QStringLiteral("skipExistingRadio"), QStringLiteral("overwriteRadio"),
                                  QStringLiteral("overwriteOlderRadio")};
    for (int i = 0; i < 3; ++i) {
        radios[i]->setObjectName(radioNames[i]);
        radios[i]->setGeometry(8 + i * 120, 12, 118, 19);
        skipFilesButtons_->addButton(radios[i], i);
    }

    destinationGroup = new QGroupBox(QStringLiteral("Where to backup"), projectGroup);
    destinationGroup->setObjectName(QStringLiteral("destinationGroup"));
    destinationGroup->setGeometry(8, 376, 385, 81);
    label(destinationGroup, QStringLiteral("Backup Directory"), 8, 20);
    backupDirectoryEdit = edit(destinationGroup, "backupDirectoryEdit", 8, 36, 345, 21);
    backupDirectoryButton =
        button(destinationGroup, "backupDirectoryButton", QStringLiteral("..."), QIcon(), 352, 36, 23, 21);

    QLabel* lastBackup = label(projectGroup, QStringLiteral("Last backup:"), 8, 464);
    lastBackupLabel = new QLabel(projectGroup);
    lastBackupLabel->setObjectName(QStringLiteral("lastBackupLabel"));
    // Starts after its caption, whose width depends on the font; ends where the groups end.
    const int lastBackupLeft = std::max(72, lastBackup->geometry().right() + 6);
    lastBackupLabel->setGeometry(lastBackupLeft, 464, 393 - lastBackupLeft, 17);
    UiLook::setTextColour(lastBackupLabel, UiLook::navy());

    // Bottom row.
    deleteButton =
        button(this, "deleteButton", QStringLiteral("Delete"), UiIcons::deleteProject(), 296, 544, 70, 25);
    editButton = button(this, "editButton", QStringLiteral("Edit"), UiIcons::editProject(), 384, 544, 70, 25);
    saveButton = button(this, "saveButton", QStringLiteral("Save"), UiIcons::save(), 472, 544, 70, 25);
    cancelButton =
        button(this, "cancelButton", QStringLiteral("Cancel"), UiIcons::cancel(), 560, 544, 70, 25);
    for (QPushButton* b : {deleteButton, editButton, saveButton, cancelButton}) b->setEnabled(false);

    // Commands.
    backUpAllButton =
        flatButton(this, "backUpAllButton", QStringLiteral("Backup all projects"), QIcon(), 664, 48, 153, 49);
    backUpSelectedButton = flatButton(this, "backUpSelectedButton", QStringLiteral("Backup selected project"),
                                      QIcon(), 664, 104, 153, 49);
    successLabel = outcomeLabel(this, "successLabel", QStringLiteral("Backup finished successful"),
                                UiLook::green(), 208);
    errorLabel =
        outcomeLabel(this, "errorLabel", QStringLiteral("Backup finished with errors"), UiLook::red(), 216);
    cancelledLabel = outcomeLabel(this, "cancelledLabel", QStringLiteral("Backup canceled by user"),
                                  UiLook::maroon(), 222);
    viewLogButton =
        flatButton(this, "viewLogButton", QStringLiteral("View Log"), UiIcons::viewLog(), 664, 248, 153, 49);
    for (QToolButton* b : {backUpAllButton, backUpSelectedButton, viewLogButton})
        b->setFont(UiLook::boldFont(10));

    setTabOrder(newProjectButton, deleteButton);
    setTabOrder(deleteButton, editButton);
    setTabOrder(editButton, saveButton);
    setTabOrder(saveButton, cancelButton);

    connect(aboutButton, &QToolButton::clicked, this, &MainWindow::showAbout);
    connect(contactButton, &QToolButton::clicked, this, &MainWindow::showContact);
    connect(exitButton, &QToolButton::clicked, this, &MainWindow::exitProgram);
}

void MainWindow::connectEditor() {
    listModel_ = new ProjectListModel(
        table_,
        [this](int row, const QString& name) {
            const bool stored = tableCall([&] {
                if (row != table_.currentIndex()) table_.moveTo(row);
                if (!table_.isEditingOrInserting()) table_.edit();
                table_.setValue(ProjectColumn::Project, ProjectValue(name.toStdString()));
            });
            showCurrentRow();
            return stored;
        },
        nullptr);
    projectList->setModel(listModel_);
    projectList->setColumnWidth(0, 202);
    projectList->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                 QAbstractItemView::AnyKeyPressed);
    auto followSelection = [this] {
        connect(projectList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                [this](const QModelIndex& current) {
                    if (current.isValid()) onListRowChanged(current.row());
                });
    };
    followSelection();
    connect(listModel_, &QAbstractItemModel::modelReset, this, followSelection);

    // Activation: a modal window of this program has closed and none is left open,
    // so the main window is the active one again. Coming back from another program
    // closes no window of ours, so it does not count.
    auto* watcher = new ModalCloseWatcher(this, [this] {
        if (shown_ && isVisible() && !QApplication::activeModalWidget()) activate();
    });
    qApp->installEventFilter(watcher);

    table_.afterScroll.connect([this](ProjectTable&) { onTableScrolled(); });
    table_.afterEdit.connect([this](ProjectTable&) { onTableEdited(); });
    table_.afterPost.connect([this](ProjectTable&) { onTablePosted(); });
    table_.afterDelete.connect([this](ProjectTable&) { showCurrentRow(); });

    const auto bound = boundColumns();
    for (auto [edit, column] : bound) {
        connect(edit, &QLineEdit::textEdited, this, [this, column = column](const QString& text) {
            userChanged(column, ProjectValue(text.toStdString()));
        });
    }
    connect(newBackupEachDayCheck, &QCheckBox::clicked, this, [this](bool checked) {
        userChanged(ProjectColumn::MySQLNewBackupEachDay, ProjectValue(checked ? 1 : 0));
    });
    connect(skipFilesButtons_, &QButtonGroup::idClicked, this,
            [this](int id) { userChanged(ProjectColumn::SkipFiles, ProjectValue(id)); });

    passwordEdit->installEventFilter(this);
    connect(passwordEdit, &QLineEdit::textChanged, this, &MainWindow::beginPasswordEdit);

    connect(newProjectButton, &QPushButton::clicked, this, &MainWindow::newProject);
    connect(editButton, &QPushButton::clicked, this, &MainWindow::editProject);
    connect(deleteButton, &QPushButton::clicked, this, &MainWindow::deleteProject);
    connect(saveButton, &QPushButton::clicked, this, &MainWindow::saveProject);
    connect(cancelButton, &QPushButton::clicked, this, &MainWindow::cancelEditing);
    connect(filesDirectoryButton, &QPushButton::clicked, this, &MainWindow::pickFilesDirectory);
    connect(backupDirectoryButton, &QPushButton::clicked, this, &MainWindow::pickBackupDirectory);
    connect(optionsButton, &QPushButton::clicked, this, &MainWindow::editOptions);
    connect(clearPasswordButton, &QToolButton::clicked, this, &MainWindow::clearPassword);
    connect(testConnectionButton, &QPushButton::clicked, this, &MainWindow::testConnection);
    connect(backUpSelectedButton, &QToolButton::clicked, this, &MainWindow::backUpSelectedProject);
    connect(backUpAllButton, &QToolButton::clicked, this, &MainWindow::backUpAllProjects);
    connect(viewLogButton, &QToolButton::clicked, this, &MainWindow::viewLog);
}

std::vector<std::pair<QLineEdit*, ProjectColumn>> MainWindow::boundColumns() const {
    return {
        {projectNameEdit, ProjectColumn::Project},
        {serverEdit, ProjectColumn::MySQLServer},
        {portEdit, ProjectColumn::MySQLPort},
        {databaseEdit, ProjectColumn::MySQLDataBase},
        {userEdit, ProjectColumn::MySQLUser},
        {filesDirectoryEdit, ProjectColumn::FilesDirectory},
        {backupDirectoryEdit, ProjectColumn::BackupDirectory},
    };
}

std::vector<QLineEdit*> MainWindow::boundEdits() const {
    std::vector<QLineEdit*> edits;
    for (const auto& [edit, column] : boundColumns()) edits.push_back(edit);
    return edits;
}

std::filesystem::path MainWindow::logFileName() {
    return AppPaths::dataDirectory() / LogFile::kFileName;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == logo && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        openMakerSite();
        return true;
    }
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        // A window that loses or regains the activation does not enter or leave an edit.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            return QWidget::eventFilter(watched, event);
        const bool in = event->type() == QEvent::FocusIn;
        if (watched == passwordEdit) {
            GeneralErrorBox::guard(this, [&] { in ? startPasswordEntry() : finishPasswordEntry(); });
        } else if (auto* edit = qobject_cast<QLineEdit*>(watched); edit && highlightAttached_) {
            in ? highlightEdit(edit) : unhighlightEdit(edit);  // only the bound edits are watched
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        GeneralErrorBox::guard(this, [this] { loadProjects(); });
        activate();
    }
}

void MainWindow::loadProjects() {
    projectFileName_ = AppPaths::dataDirectory() / ProjectFile::kFileName;
    rules_ = std::make_unique<ProjectRules>(table_, projectFileName_);
    // The edits get their highlight even when the project file cannot be read.
    for (QLineEdit* edit : boundEdits()) edit->installEventFilter(this);
    highlightAttached_ = true;
    std::error_code ec;
    const bool fileExists = std::filesystem::exists(projectFileName_, ec);
    if (!tableCall([this] { rules_->load(); })) {
        // A project file that exists but cannot be read must not be replaced by the
        // next save: nothing can be edited until the program starts with it readable.
        for (QWidget* w : std::initializer_list<QWidget*>{newProjectButton, editButton, deleteButton,
                                                          saveButton, cancelButton, projectGroup, projectList,
                                                          backUpAllButton, backUpSelectedButton})
            w->setEnabled(false);
        return;
    }
    // Loading an existing file ends on its first row, which applies the browse rule
    // even when it holds no project; without a file the controls keep their start.
    if (fileExists) onTableScrolled();
    showCurrentRow();
}

void MainWindow::activate() {
    for (auto& hook : activationHooks_) hook();
}

bool MainWindow::tableCall(const std::function<void()>& operation) {
    try {
        operation();
        return true;
    } catch (const PostRefused& refused) {
        showCurrentRow();
        MessageBoxes::warning(this, QString::fromUtf8(refused.what()));
    } catch (const std::exception& error) {
        showCurrentRow();
        GeneralErrorBox::show(this, error);
    }
    return false;
}

void MainWindow::showCurrentRow() {
    if (holdControls_) return;
    showingRow_ = true;
    auto text = [this](ProjectColumn column) {
        return QString::fromStdString(table_.value(column).toText());
    };
    const auto bound = boundColumns();
    for (auto [edit, column] : bound) {
        const QString value = text(column);
        if (edit->text() != value) edit->setText(value);
    }
    newBackupEachDayCheck->setChecked(text(ProjectColumn::MySQLNewBackupEachDay) == QLatin1String("1"));
    const QString skip = text(ProjectColumn::SkipFiles);
    skipFilesButtons_->setExclusive(false);
    for (QAbstractButton* radio : skipFilesButtons_->buttons())
        radio->setChecked(QString::number(skipFilesButtons_->id(radio)) == skip);
    skipFilesButtons_->setExclusive(true);
    lastBackupLabel->setText(text(ProjectColumn::LastBackup));
    listModel_->refresh();
    selectCurrentRowInList();
    showingRow_ = false;
}

void MainWindow::selectCurrentRowInList() {
    const bool wasShowing = showingRow_;
    showingRow_ = true;
    const int row = table_.currentIndex();
    if (row >= 0 && row < listModel_->rowCount()) {
        const QModelIndex index = listModel_->index(row, 0);
        if (projectList->selectionModel()->currentIndex() != index)
            projectList->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    } else {
        projectList->selectionModel()->clear();
    }
    showingRow_ = wasShowing;
}

void MainWindow::onListRowChanged(int row) {
    if (showingRow_ || row == table_.currentIndex()) return;
    if (!tableCall([&] { table_.moveTo(row); })) selectCurrentRowInList();
}

void MainWindow::userChanged(ProjectColumn column, ProjectValue value) {
    if (showingRow_) return;
    // Starting an edit may move the table (an insert on an empty table); the control
    // keeps what the user typed, and shows the row once the value is stored.
    holdControls_ = true;
    tableCall([&] {
        if (!table_.isEditingOrInserting()) table_.edit();
        table_.setValue(column, std::move(value));
    });
    holdControls_ = false;
    showCurrentRow();
}

// ---- Button rules ---------------------------------------------------------------

void MainWindow::setEditingButtons() {
    editButton->setEnabled(false);
    deleteButton->setEnabled(false);
    saveButton->setEnabled(true);
    cancelButton->setEnabled(true);
}

void MainWindow::setBrowseButtons(bool hasRows) {
    for (QWidget* w : std::initializer_list<QWidget*>{editButton, deleteButton, projectGroup, projectList,
                                                      backUpAllButton, backUpSelectedButton})
        w->setEnabled(hasRows);
}

void MainWindow::onTableScrolled() {
    if (!table_.isEditingOrInserting()) {
        newProjectButton->setEnabled(true);
        saveButton->setEnabled(false);
        cancelButton->setEnabled(false);
        setBrowseButtons(!table_.isEmpty());
    }
    showCurrentRow();
}

void MainWindow::onTableEdited() {
    editProject();
}

void MainWindow::onTablePosted() {
    showCurrentRow();
}

void MainWindow::editProject() {
    if (table_.isEmpty()) return;
    if (!tableCall([this] { table_.edit(); })) return;
    setEditingButtons();
}

void MainWindow::newProject() {
    if (!tableCall([this] { rules_->newProject(); })) return;
    setEditingButtons();
    projectGroup->setEnabled(true);
    projectList->setEnabled(true);
    showCurrentRow();
    projectNameEdit->setFocus();
}

void MainWindow::saveProject() {
    if (!table_.isEditingOrInserting()) return;
    if (!tableCall([this] { table_.post(); })) return;
    if (table_.isEditingOrInserting()) return;
    newProjectButton->setEnabled(true);
    editButton->setEnabled(true);
    deleteButton->setEnabled(true);
    saveButton->setEnabled(false);
    cancelButton->setEnabled(false);
}

void MainWindow::cancelEditing() {
    if (!table_.isEditingOrInserting()) return;
    tableCall([this] { table_.cancel(); });
    newProjectButton->setEnabled(true);
    if (!table_.isEmpty()) {
        editButton->setEnabled(true);
        deleteButton->setEnabled(true);
        saveButton->setEnabled(false);
        cancelButton->setEnabled(false);
    }
    showCurrentRow();
}

void MainWindow::deleteProject() {
    if (table_.isEmpty()) return;
    if (!MessageBoxes::confirm(this, QStringLiteral("Delete project?"))) return;
    tableCall([this] { table_.remove(); });
    showCurrentRow();
}

// ---- Folder pickers ---------------------------------------------------------------

void MainWindow::pickFilesDirectory() {
    pickFolder(QStringLiteral("Directory to backup"), ProjectColumn::FilesDirectory);
}

void MainWindow::pickBackupDirectory() {
    pickFolder(QStringLiteral("Where to backup"), ProjectColumn::BackupDirectory);
}

void MainWindow::pickFolder(const QString& title, ProjectColumn column) {
    // No folder preselected: the dialog does not start at the field's value.
    const QString folder =
        QFileDialog::getExistingDirectory(this, title, QString(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) return;
    editProject();
    if (!tableCall([&] {
            if (!table_.isEditingOrInserting()) table_.edit();
            table_.setValue(column, ProjectValue(QDir::toNativeSeparators(folder).toStdString()));
        }))
        return;
    showCurrentRow();
    saveProject();
}

// The optional settings of the current row (its edit buffer while editing). OK
// stores what changed and posts like Save; Cancel changes nothing.
void MainWindow::editOptions() {
    ProjectOptionsWindow options(table_.currentRow(), this);
    if (options.exec() != QDialog::Accepted) return;
    const auto changes = options.changed();
    if (changes.empty() && !table_.isEditingOrInserting()) return;
    editProject();
    if (!tableCall([&] {
            if (!table_.isEditingOrInserting()) table_.edit();
            for (const auto& [column, value] : changes) table_.setValue(column, value);
        }))
        return;
    showCurrentRow();
    saveProject();
}

// ---- Password edit -----------------------------------------------------------------

void MainWindow::startPasswordEntry() {
    passwordEdit->clear();
    UiLook::setHighlighted(passwordEdit, true);
}

void MainWindow::beginPasswordEdit(const QString& text) {
    if (text.isEmpty() || passwordTyped_) return;
    passwordTyped_ = true;
    tableCall([this] { table_.edit(); });
}

void MainWindow::finishPasswordEntry() {
    if (table_.isEditingOrInserting() && passwordTyped_) {
        const QString typed = passwordEdit->text();
        tableCall([&] {
            table_.setValue(ProjectColumn::MySQLPassword,
                            ProjectValue(typed.isEmpty() ? std::string() : encipherPassword(typed)));
        });
    }
    // Showing the placeholder again is no typing: the flag holds the change off.
    passwordTyped_ = true;
    passwordEdit->setText(passwordPlaceholder());
    passwordTyped_ = false;
    UiLook::setHighlighted(passwordEdit, false);
}

void MainWindow::clearPassword() {
    tableCall([this] {
        table_.edit();
        table_.setValue(ProjectColumn::MySQLPassword, ProjectValue(std::string()));
        table_.post();
    });
}

void MainWindow::highlightEdit(QLineEdit* edit) {
    UiLook::setHighlighted(edit, true);
}

void MainWindow::unhighlightEdit(QLineEdit* edit) {
    UiLook::setHighlighted(edit, false);
}

// ---- Commands ------------------------------------------------------------------------

void MainWindow::testConnection() {
    GeneralErrorBox::guard(this, [this] {
        tryConnection(table_, testConnectionButton);
        MessageBoxes::information(this, QStringLiteral("Success!"));
    });
}

void MainWindow::backUpSelectedProject() {
    runBackup(BackupRun::OneProject);
}

void MainWindow::backUpAllProjects() {
    runBackup(BackupRun::AllProjects);
}

void MainWindow::runBackup(BackupRun::Mode mode) {
    // Completes an entry in hand: the password edit stores what was typed.
    projectNameEdit->setFocus();
    if (passwordTyped_) finishPasswordEntry();
    if (table_.isEditingOrInserting() && !tableCall([this] { table_.post(); })) return;
    if (table_.isEditingOrInserting()) return;
    successLabel->hide();
    errorLabel->hide();
    cancelledLabel->hide();
    int result = 0;
    QString lastError, logError;
    {
        ProgressWindow progress(&table_, this);
        progress.setMode(mode);
        progress.setJobFactory(backupJobFactory_);
        progress.exec();
        result = progress.runResult();
        lastError = progress.lastError();
        logError = progress.logError();
    }
    showCurrentRow();
    if (result == 0) {
        successLabel->show();
    } else if (result == 1) {
        errorLabel->show();
        if (!lastError.isEmpty() || logError.isEmpty()) MessageBoxes::error(this, lastError);
    } else {
        cancelledLabel->show();
    }
    // Once for the run, however many lines were lost.
    if (!logError.isEmpty()) MessageBoxes::error(this, logError);
}

void MainWindow::viewLog() {
    const std::filesystem::path log = logFileName();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(log, ec)) {
        MessageBoxes::plain(this, QStringLiteral("Log File does not exist."));
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(log.string())));
}

void MainWindow::showAbout() {
    if (aboutWindow_) aboutWindow_->exec();
}

void MainWindow::showContact() {
    if (contactWindow_) contactWindow_->exec();
}

void MainWindow::exitProgram() {
    close();
}

void MainWindow::openMakerSite() {
    if (!makerSiteAddress_.isEmpty()) QDesktopServices::openUrl(QUrl(makerSiteAddress_));
}

}  // namespace tharvel
