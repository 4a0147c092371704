#include "ui/TMainForm.h"

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

#include "backup/TConnectionTest.h"
#include "platform/AppPaths.h"
#include "projects/ProjectFile.h"
#include "projects/ProjectRules.h"
#include "projects/TCifrare.h"
#include "ui/GeneralErrorBox.h"
#include "ui/MessageBoxes.h"
#include "ui/ProjectListModel.h"
#include "ui/TAboutForm.h"
#include "ui/TBackUpProgressForm.h"
#include "ui/TProjectOptionsForm.h"
#include "ui/Tcontactmessage.h"
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
    return TCifrare::encipherPassword(typed.toStdString());
}

// Opens and closes a connection with the current row's settings (the edit buffer
// while editing), off the window's thread; throws the connection's error on failure.
void testConnection(const VT& table, QWidget* button) {
    auto text = [&](VTColumn column) { return table.value(column).toText(); };
    WindowWork::run({button}, [server = text(VTColumn::MySQLServer), port = text(VTColumn::MySQLPort),
                               database = text(VTColumn::MySQLDataBase), user = text(VTColumn::MySQLUser),
                               password = text(VTColumn::MySQLPassword), tls = text(VTColumn::MySQLTLS),
                               tlsCa = text(VTColumn::MySQLTLSCA)] {
        TConnectionTest::Run(server, port, database, user, password, tls, tlsCa);
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

TMainForm::TMainForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("MainForm"));
    buildLayout();
    connectEditor();
}

TMainForm::~TMainForm() {
    // The list's model reads the table, which goes before the child widgets do.
    TntDBGrid1->setModel(nullptr);
    delete listModel_;
    rules_.reset();
}

void TMainForm::buildLayout() {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QStringLiteral("Tharvel"));
    setFixedSize(824, 572);
    setFont(UiLook::baseFont());

    // Top bar.
    spbtnAbout = flatButton(this, "spbtnAbout", QStringLiteral("About"), UiIcons::about(), 307, 3, 73, 26);
    spbtnAbout->setToolTip(QStringLiteral("About"));
    spbtnContactUs =
        flatButton(this, "spbtnContactUs", QStringLiteral("Contact Us"), UiIcons::contact(), 387, 3, 98, 26);
    spbtnExit = flatButton(this, "spbtnExit", QStringLiteral("Exit"), UiIcons::exit(), 491, 3, 60, 26);
    spbtnExit->setToolTip(QStringLiteral("Exit"));
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(560, 0, 260, 34);
    Image1->setPixmap(UiIcons::logo(QSize(260, 34)));
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->installEventFilter(this);

    // Project list.
    TntDBGrid1 = new QTableView(this);
    TntDBGrid1->setObjectName(QStringLiteral("TntDBGrid1"));
    TntDBGrid1->setGeometry(8, 45, 241, 484);
    TntDBGrid1->setFont(UiLook::boldFont(13));
    UiLook::setTextColour(TntDBGrid1, UiLook::navy());
    TntDBGrid1->horizontalHeader()->setFont(UiLook::baseFont());
    TntDBGrid1->verticalHeader()->setDefaultSectionSize(20);
    TntDBGrid1->verticalHeader()->setFixedWidth(14);
    TntDBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    TntDBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    btnInsert =
        button(this, "btnInsert", QStringLiteral("New project"), UiIcons::newProject(), 8, 544, 241, 25);

    // Editor frame.
    TntGroupBox3 = new QGroupBox(this);
    TntGroupBox3->setObjectName(QStringLiteral("TntGroupBox3"));
    TntGroupBox3->setGeometry(256, 40, 401, 489);
    label(TntGroupBox3, QStringLiteral("Project Name"), 48, 28);
    DBEdtProject = edit(TntGroupBox3, "DBEdtProject", 128, 24, 185, 21);
    DBEdtProject->setFont(UiLook::boldFont());
    btnOptions = button(TntGroupBox3, "btnOptions", QStringLiteral("Options..."), QIcon(), 320, 23, 73, 23);

    TntGroupBox1 = new QGroupBox(QStringLiteral("MySQL DataBase to backup"), TntGroupBox3);
    TntGroupBox1->setObjectName(QStringLiteral("TntGroupBox1"));
    TntGroupBox1->setGeometry(8, 64, 385, 169);
    label(TntGroupBox1, QStringLiteral("Server"), 8, 22);
    DBEdtMySQLServer = edit(TntGroupBox1, "DBEdtMySQLServer", 8, 38, 113, 21);
    label(TntGroupBox1, QStringLiteral("Port"), 126, 22);
    DBEdtMySQLPort = edit(TntGroupBox1, "DBEdtMySQLPort", 126, 38, 57, 21);
    label(TntGroupBox1, QStringLiteral("DataBase"), 200, 22);
    DBEdtMySQLDataBase = edit(TntGroupBox1, "DBEdtMySQLDataBase", 200, 38, 175, 21);
    label(TntGroupBox1, QStringLiteral("User Name"), 8, 78);
    DBEdtMySQLUser = edit(TntGroupBox1, "DBEdtMySQLUser", 8, 94, 175, 21);
    label(TntGroupBox1, QStringLiteral("Password"), 200, 78);
    EdtMySQLPassword = new QLineEdit(TntGroupBox1);
    EdtMySQLPassword->setObjectName(QStringLiteral("EdtMySQLPassword"));
    EdtMySQLPassword->setGeometry(200, 94, 151, 22);
    EdtMySQLPassword->setEchoMode(QLineEdit::Password);
    EdtMySQLPassword->setText(passwordPlaceholder());
    tbnClearPassw = new QToolButton(TntGroupBox1);
    tbnClearPassw->setObjectName(QStringLiteral("tbnClearPassw"));
    tbnClearPassw->setGeometry(350, 93, 25, 23);
    tbnClearPassw->setIcon(UiIcons::clearPassword());
    tbnClearPassw->setToolTip(QStringLiteral("Clear Password"));
    // Takes the focus like the other buttons: a password being typed is stored
    // before it is cleared, never after.
    tbnClearPassw->setFocusPolicy(Qt::StrongFocus);
    DBckbMySQLNewBackupEachDay = new QCheckBox(QStringLiteral("New backup each day"), TntGroupBox1);
    DBckbMySQLNewBackupEachDay->setObjectName(QStringLiteral("DBckbMySQLNewBackupEachDay"));
    DBckbMySQLNewBackupEachDay->setGeometry(8, 136, 210, 17);
    btnTestConection = button(TntGroupBox1, "btnTestConection", QStringLiteral("Test conection"),
                              UiIcons::testConnection(), 224, 130, 113, 25);

    TntGroupBox2 = new QGroupBox(QStringLiteral("Directory to backup"), TntGroupBox3);
    TntGroupBox2->setObjectName(QStringLiteral("TntGroupBox2"));
    TntGroupBox2->setGeometry(8, 248, 385, 113);
    label(TntGroupBox2, QStringLiteral("Files Directory"), 8, 19);
    DBEdtFilesDirectory = edit(TntGroupBox2, "DBEdtFilesDirectory", 8, 35, 345, 21);
    btnFilesDirectory =
        button(TntGroupBox2, "btnFilesDirectory", QStringLiteral("..."), QIcon(), 352, 35, 23, 21);
    DBRadioGroup = new QGroupBox(TntGroupBox2);
    DBRadioGroup->setObjectName(QStringLiteral("DBRadioGroup"));
    DBRadioGroup->setGeometry(8, 64, 369, 41);
    rbSkipExisting = new QRadioButton(QStringLiteral("Skip existing"), DBRadioGroup);
    rbOverwrite = new QRadioButton(QStringLiteral("Overwrite"), DBRadioGroup);
    rbOverwriteOlder = new QRadioButton(QStringLiteral("Overwrite older"), DBRadioGroup);
    skipFilesGroup_ = new QButtonGroup(this);
    QRadioButton* radios[] = {rbSkipExisting, rbOverwrite, rbOverwriteOlder};
    for (int i = 0; i < 3; ++i) {
        radios[i]->setObjectName(QStringLiteral("DBRadioGroup%1").arg(i));
        radios[i]->setGeometry(8 + i * 120, 12, 118, 19);
        skipFilesGroup_->addButton(radios[i], i);
    }

    TntGroupBox4 = new QGroupBox(QStringLiteral("Where to backup"), TntGroupBox3);
    TntGroupBox4->setObjectName(QStringLiteral("TntGroupBox4"));
    TntGroupBox4->setGeometry(8, 376, 385, 81);
    label(TntGroupBox4, QStringLiteral("Backup Directory"), 8, 20);
    DBEdtBackupDirectory = edit(TntGroupBox4, "DBEdtBackupDirectory", 8, 36, 345, 21);
    btnBackupDirectory =
        button(TntGroupBox4, "btnBackupDirectory", QStringLiteral("..."), QIcon(), 352, 36, 23, 21);

    QLabel* lastBackup = label(TntGroupBox3, QStringLiteral("Last backup:"), 8, 464);
    DBTxtLastBackup = new QLabel(TntGroupBox3);
    DBTxtLastBackup->setObjectName(QStringLiteral("DBTxtLastBackup"));
    // Starts after its caption, whose width depends on the font; ends where the groups end.
    const int lastBackupLeft = std::max(72, lastBackup->geometry().right() + 6);
    DBTxtLastBackup->setGeometry(lastBackupLeft, 464, 393 - lastBackupLeft, 17);
    UiLook::setTextColour(DBTxtLastBackup, UiLook::navy());

    // Bottom row.
    btnDelete =
        button(this, "btnDelete", QStringLiteral("Delete"), UiIcons::deleteProject(), 296, 544, 70, 25);
    btnEdit = button(this, "btnEdit", QStringLiteral("Edit"), UiIcons::editProject(), 384, 544, 70, 25);
    btnSave = button(this, "btnSave", QStringLiteral("Save"), UiIcons::save(), 472, 544, 70, 25);
    btnCancel = button(this, "btnCancel", QStringLiteral("Cancel"), UiIcons::cancel(), 560, 544, 70, 25);
    for (QPushButton* b : {btnDelete, btnEdit, btnSave, btnCancel}) b->setEnabled(false);

    // Commands.
    spbtnBackupAllProjects = flatButton(this, "spbtnBackupAllProjects", QStringLiteral("Backup all projects"),
                                        QIcon(), 664, 48, 153, 49);
    spbtnBackupSelectedProject =
        flatButton(this, "spbtnBackupSelectedProject", QStringLiteral("Backup selected project"), QIcon(),
                   664, 104, 153, 49);
    LabelSuccessful = outcomeLabel(this, "LabelSuccessful", QStringLiteral("Backup finished successful"),
                                   UiLook::green(), 208);
    LabelError =
        outcomeLabel(this, "LabelError", QStringLiteral("Backup finished with errors"), UiLook::red(), 216);
    LabelCanceled =
        outcomeLabel(this, "LabelCanceled", QStringLiteral("Backup canceled by user"), UiLook::maroon(), 222);
    SpBtnViewLog =
        flatButton(this, "SpBtnViewLog", QStringLiteral("View Log"), UiIcons::viewLog(), 664, 248, 153, 49);
    for (QToolButton* b : {spbtnBackupAllProjects, spbtnBackupSelectedProject, SpBtnViewLog})
        b->setFont(UiLook::boldFont(10));

    setTabOrder(btnInsert, btnDelete);
    setTabOrder(btnDelete, btnEdit);
    setTabOrder(btnEdit, btnSave);
    setTabOrder(btnSave, btnCancel);

    connect(spbtnAbout, &QToolButton::clicked, this, &TMainForm::spbtnAboutClick);
    connect(spbtnContactUs, &QToolButton::clicked, this, &TMainForm::spbtnContactUsClick);
    connect(spbtnExit, &QToolButton::clicked, this, &TMainForm::spbtnExitClick);
}

void TMainForm::connectEditor() {
    listModel_ = new ProjectListModel(
        VT_,
        [this](int row, const QString& name) {
            const bool stored = tableCall([&] {
                if (row != VT_.currentIndex()) VT_.moveTo(row);
                if (!VT_.isEditingOrInserting()) VT_.edit();
                VT_.setValue(VTColumn::Project, VTValue(name.toStdString()));
            });
            showCurrentRow();
            return stored;
        },
        nullptr);
    TntDBGrid1->setModel(listModel_);
    TntDBGrid1->setColumnWidth(0, 202);
    TntDBGrid1->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                QAbstractItemView::AnyKeyPressed);
    auto followSelection = [this] {
        connect(TntDBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
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
        if (shown_ && isVisible() && !QApplication::activeModalWidget()) FormActivate();
    });
    qApp->installEventFilter(watcher);

    VT_.afterScroll.connect([this](VT&) { VTAfterScroll(); });
    VT_.afterEdit.connect([this](VT&) { VTAfterEdit(); });
    VT_.afterPost.connect([this](VT&) { VTAfterPost(); });
    VT_.afterDelete.connect([this](VT&) { showCurrentRow(); });

    const auto bound = boundColumns();
    for (auto [edit, column] : bound) {
        connect(edit, &QLineEdit::textEdited, this, [this, column = column](const QString& text) {
            userChanged(column, VTValue(text.toStdString()));
        });
    }
    connect(DBckbMySQLNewBackupEachDay, &QCheckBox::clicked, this,
            [this](bool checked) { userChanged(VTColumn::MySQLNewBackupEachDay, VTValue(checked ? 1 : 0)); });
    connect(skipFilesGroup_, &QButtonGroup::idClicked, this,
            [this](int id) { userChanged(VTColumn::SkipFiles, VTValue(id)); });

    EdtMySQLPassword->installEventFilter(this);
    connect(EdtMySQLPassword, &QLineEdit::textChanged, this, &TMainForm::EdtMySQLPasswordChange);

    connect(btnInsert, &QPushButton::clicked, this, &TMainForm::btnInsertClick);
    connect(btnEdit, &QPushButton::clicked, this, &TMainForm::btnEditClick);
    connect(btnDelete, &QPushButton::clicked, this, &TMainForm::btnDeleteClick);
    connect(btnSave, &QPushButton::clicked, this, &TMainForm::btnSaveClick);
    connect(btnCancel, &QPushButton::clicked, this, &TMainForm::btnCancelClick);
    connect(btnFilesDirectory, &QPushButton::clicked, this, &TMainForm::btnFilesDirectoryClick);
    connect(btnBackupDirectory, &QPushButton::clicked, this, &TMainForm::btnBackupDirectoryClick);
    connect(btnOptions, &QPushButton::clicked, this, &TMainForm::btnOptionsClick);
    connect(tbnClearPassw, &QToolButton::clicked, this, &TMainForm::tbnClearPasswClick);
    connect(btnTestConection, &QPushButton::clicked, this, &TMainForm::btnTestConectionClick);
    connect(spbtnBackupSelectedProject, &QToolButton::clicked, this,
            &TMainForm::spbtnBackupSelectedProjectClick);
    connect(spbtnBackupAllProjects, &QToolButton::clicked, this, &TMainForm::spbtnBackupAllProjectsClick);
    connect(SpBtnViewLog, &QToolButton::clicked, this, &TMainForm::SpBtnViewLogClick);
}

std::vector<std::pair<QLineEdit*, VTColumn>> TMainForm::boundColumns() const {
    return {
        {DBEdtProject, VTColumn::Project},
        {DBEdtMySQLServer, VTColumn::MySQLServer},
        {DBEdtMySQLPort, VTColumn::MySQLPort},
        {DBEdtMySQLDataBase, VTColumn::MySQLDataBase},
        {DBEdtMySQLUser, VTColumn::MySQLUser},
        {DBEdtFilesDirectory, VTColumn::FilesDirectory},
        {DBEdtBackupDirectory, VTColumn::BackupDirectory},
    };
}

std::vector<QLineEdit*> TMainForm::boundEdits() const {
    std::vector<QLineEdit*> edits;
    for (const auto& [edit, column] : boundColumns()) edits.push_back(edit);
    return edits;
}

std::filesystem::path TMainForm::logFileName() {
    return AppPaths::dataDirectory() / "TharvelLog.txt";
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Image1 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Image1Click();
        return true;
    }
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        // A window that loses or regains the activation does not enter or leave an edit.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            return QWidget::eventFilter(watched, event);
        const bool in = event->type() == QEvent::FocusIn;
        if (watched == EdtMySQLPassword) {
            GeneralErrorBox::guard(this, [&] { in ? EdtMySQLPasswordEnter() : EdtMySQLPasswordExit(); });
        } else if (auto* edit = qobject_cast<QLineEdit*>(watched); edit && highlightAttached_) {
            in ? EditEnter(edit) : EditExit(edit);  // only the bound edits are watched
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        GeneralErrorBox::guard(this, [this] { FormShow(); });
        FormActivate();
    }
}

void TMainForm::FormShow() {
    ProjectFileName = AppPaths::dataDirectory() / ProjectFile::kFileName;
    rules_ = std::make_unique<ProjectRules>(VT_, ProjectFileName);
    // The edits get their highlight even when the project file cannot be read.
    for (QLineEdit* edit : boundEdits()) edit->installEventFilter(this);
    highlightAttached_ = true;
    std::error_code ec;
    const bool fileExists = std::filesystem::exists(ProjectFileName, ec);
    if (!tableCall([this] { rules_->load(); })) {
        // A project file that exists but cannot be read must not be replaced by the
        // next save: nothing can be edited until the program starts with it readable.
        for (QWidget* w :
             std::initializer_list<QWidget*>{btnInsert, btnEdit, btnDelete, btnSave, btnCancel, TntGroupBox3,
                                             TntDBGrid1, spbtnBackupAllProjects, spbtnBackupSelectedProject})
            w->setEnabled(false);
        return;
    }
    // Loading an existing file ends on its first row, which applies the browse rule
    // even when it holds no project; without a file the controls keep their start.
    if (fileExists) VTAfterScroll();
    showCurrentRow();
}

void TMainForm::FormActivate() {
    for (auto& hook : activationHooks_) hook();
}

bool TMainForm::tableCall(const std::function<void()>& operation) {
    try {
        operation();
        return true;
    } catch (const EPostRefused& refused) {
        showCurrentRow();
        MessageBoxes::warning(this, QString::fromUtf8(refused.what()));
    } catch (const std::exception& error) {
        showCurrentRow();
        GeneralErrorBox::show(this, error);
    }
    return false;
}

void TMainForm::showCurrentRow() {
    if (holdControls_) return;
    showingRow_ = true;
    auto text = [this](VTColumn column) { return QString::fromStdString(VT_.value(column).toText()); };
    const auto bound = boundColumns();
    for (auto [edit, column] : bound) {
        const QString value = text(column);
        if (edit->text() != value) edit->setText(value);
    }
    DBckbMySQLNewBackupEachDay->setChecked(text(VTColumn::MySQLNewBackupEachDay) == QLatin1String("1"));
    const QString skip = text(VTColumn::SkipFiles);
    skipFilesGroup_->setExclusive(false);
    for (QAbstractButton* radio : skipFilesGroup_->buttons())
        radio->setChecked(QString::number(skipFilesGroup_->id(radio)) == skip);
    skipFilesGroup_->setExclusive(true);
    DBTxtLastBackup->setText(text(VTColumn::LastBackup));
    listModel_->refresh();
    selectCurrentRowInList();
    showingRow_ = false;
}

void TMainForm::selectCurrentRowInList() {
    const bool wasShowing = showingRow_;
    showingRow_ = true;
    const int row = VT_.currentIndex();
    if (row >= 0 && row < listModel_->rowCount()) {
        const QModelIndex index = listModel_->index(row, 0);
        if (TntDBGrid1->selectionModel()->currentIndex() != index)
            TntDBGrid1->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    } else {
        TntDBGrid1->selectionModel()->clear();
    }
    showingRow_ = wasShowing;
}

void TMainForm::onListRowChanged(int row) {
    if (showingRow_ || row == VT_.currentIndex()) return;
    if (!tableCall([&] { VT_.moveTo(row); })) selectCurrentRowInList();
}

void TMainForm::userChanged(VTColumn column, VTValue value) {
    if (showingRow_) return;
    // Starting an edit may move the table (an insert on an empty table); the control
    // keeps what the user typed, and shows the row once the value is stored.
    holdControls_ = true;
    tableCall([&] {
        if (!VT_.isEditingOrInserting()) VT_.edit();
        VT_.setValue(column, std::move(value));
    });
    holdControls_ = false;
    showCurrentRow();
}

// ---- Button rules ---------------------------------------------------------------

void TMainForm::setEditingButtons() {
    btnEdit->setEnabled(false);
    btnDelete->setEnabled(false);
    btnSave->setEnabled(true);
    btnCancel->setEnabled(true);
}

void TMainForm::setBrowseButtons(bool hasRows) {
    for (QWidget* w : std::initializer_list<QWidget*>{btnEdit, btnDelete, TntGroupBox3, TntDBGrid1,
                                                      spbtnBackupAllProjects, spbtnBackupSelectedProject})
        w->setEnabled(hasRows);
}

void TMainForm::VTAfterScroll() {
    if (!VT_.isEditingOrInserting()) {
        btnInsert->setEnabled(true);
        btnSave->setEnabled(false);
        btnCancel->setEnabled(false);
        setBrowseButtons(!VT_.isEmpty());
    }
    showCurrentRow();
}

void TMainForm::VTAfterEdit() {
    btnEditClick();
}

void TMainForm::VTAfterPost() {
    showCurrentRow();
}

void TMainForm::btnEditClick() {
    if (VT_.isEmpty()) return;
    if (!tableCall([this] { VT_.edit(); })) return;
    setEditingButtons();
}

void TMainForm::btnInsertClick() {
    if (!tableCall([this] { rules_->newProject(); })) return;
    setEditingButtons();
    TntGroupBox3->setEnabled(true);
    TntDBGrid1->setEnabled(true);
    showCurrentRow();
    DBEdtProject->setFocus();
}

void TMainForm::btnSaveClick() {
    if (!VT_.isEditingOrInserting()) return;
    if (!tableCall([this] { VT_.post(); })) return;
    if (VT_.isEditingOrInserting()) return;
    btnInsert->setEnabled(true);
    btnEdit->setEnabled(true);
    btnDelete->setEnabled(true);
    btnSave->setEnabled(false);
    btnCancel->setEnabled(false);
}

void TMainForm::btnCancelClick() {
    if (!VT_.isEditingOrInserting()) return;
    tableCall([this] { VT_.cancel(); });
    btnInsert->setEnabled(true);
    if (!VT_.isEmpty()) {
        btnEdit->setEnabled(true);
        btnDelete->setEnabled(true);
        btnSave->setEnabled(false);
        btnCancel->setEnabled(false);
    }
    showCurrentRow();
}

void TMainForm::btnDeleteClick() {
    if (VT_.isEmpty()) return;
    if (!MessageBoxes::confirm(this, QStringLiteral("Delete project?"))) return;
    tableCall([this] { VT_.remove(); });
    showCurrentRow();
}

// ---- Folder pickers ---------------------------------------------------------------

void TMainForm::btnFilesDirectoryClick() {
    pickFolder(QStringLiteral("Directory to backup"), VTColumn::FilesDirectory);
}

void TMainForm::btnBackupDirectoryClick() {
    pickFolder(QStringLiteral("Where to backup"), VTColumn::BackupDirectory);
}

void TMainForm::pickFolder(const QString& title, VTColumn column) {
    // No folder preselected: the dialog does not start at the field's value.
    const QString folder =
        QFileDialog::getExistingDirectory(this, title, QString(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) return;
    btnEditClick();
    if (!tableCall([&] {
            if (!VT_.isEditingOrInserting()) VT_.edit();
            VT_.setValue(column, VTValue(QDir::toNativeSeparators(folder).toStdString()));
        }))
        return;
    showCurrentRow();
    btnSaveClick();
}

// The optional settings of the current row (its edit buffer while editing). OK
// stores what changed and posts like Save; Cancel changes nothing.
void TMainForm::btnOptionsClick() {
    TProjectOptionsForm form(VT_.currentRow(), this);
    if (form.exec() != QDialog::Accepted) return;
    const auto changes = form.changed();
    if (changes.empty() && !VT_.isEditingOrInserting()) return;
    btnEditClick();
    if (!tableCall([&] {
            if (!VT_.isEditingOrInserting()) VT_.edit();
            for (const auto& [column, value] : changes) VT_.setValue(column, value);
        }))
        return;
    showCurrentRow();
    btnSaveClick();
}

// ---- Password edit -----------------------------------------------------------------

void TMainForm::EdtMySQLPasswordEnter() {
    EdtMySQLPassword->clear();
    UiLook::setHighlighted(EdtMySQLPassword, true);
}

void TMainForm::EdtMySQLPasswordChange(const QString& text) {
    if (text.isEmpty() || passwordTag_ != 0) return;
    passwordTag_ = 1;
    tableCall([this] { VT_.edit(); });
}

void TMainForm::EdtMySQLPasswordExit() {
    if (VT_.isEditingOrInserting() && passwordTag_ == 1) {
        const QString typed = EdtMySQLPassword->text();
        tableCall([&] {
            VT_.setValue(VTColumn::MySQLPassword,
                         VTValue(typed.isEmpty() ? std::string() : encipherPassword(typed)));
        });
    }
    passwordTag_ = 1;
    EdtMySQLPassword->setText(passwordPlaceholder());
    passwordTag_ = 0;
    UiLook::setHighlighted(EdtMySQLPassword, false);
}

void TMainForm::tbnClearPasswClick() {
    tableCall([this] {
        VT_.edit();
        VT_.setValue(VTColumn::MySQLPassword, VTValue(std::string()));
        VT_.post();
    });
}

void TMainForm::EditEnter(QLineEdit* edit) {
    UiLook::setHighlighted(edit, true);
}

void TMainForm::EditExit(QLineEdit* edit) {
    UiLook::setHighlighted(edit, false);
}

// ---- Commands ------------------------------------------------------------------------

void TMainForm::btnTestConectionClick() {
    GeneralErrorBox::guard(this, [this] {
        testConnection(VT_, btnTestConection);
        MessageBoxes::information(this, QStringLiteral("Success!"));
    });
}

void TMainForm::spbtnBackupSelectedProjectClick() {
    runBackup(1);
}

void TMainForm::spbtnBackupAllProjectsClick() {
    runBackup(0);
}

void TMainForm::runBackup(int mode) {
    // Completes an entry in hand: the password edit stores what was typed.
    DBEdtProject->setFocus();
    if (passwordTag_ == 1) EdtMySQLPasswordExit();
    if (VT_.isEditingOrInserting() && !tableCall([this] { VT_.post(); })) return;
    if (VT_.isEditingOrInserting()) return;
    LabelSuccessful->hide();
    LabelError->hide();
    LabelCanceled->hide();
    int result = 0;
    QString lastError, logError;
    {
        TBackUpProgressForm progress(&VT_, this);
        progress.setTag(mode);
        progress.setJobFactory(backupJobFactory_);
        progress.exec();
        result = progress.RunResult();
        lastError = progress.LastError();
        logError = progress.LogError();
    }
    showCurrentRow();
    if (result == 0) {
        LabelSuccessful->show();
    } else if (result == 1) {
        LabelError->show();
        if (!lastError.isEmpty() || logError.isEmpty()) MessageBoxes::error(this, lastError);
    } else {
        LabelCanceled->show();
    }
    // Once for the run, however many lines were lost.
    if (!logError.isEmpty()) MessageBoxes::error(this, logError);
}

void TMainForm::SpBtnViewLogClick() {
    const std::filesystem::path log = logFileName();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(log, ec)) {
        MessageBoxes::plain(this, QStringLiteral("Log File does not exist."));
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(log.string())));
}

void TMainForm::spbtnAboutClick() {
    if (aboutForm_) aboutForm_->exec();
}

void TMainForm::spbtnContactUsClick() {
    if (contactForm_) contactForm_->exec();
}

void TMainForm::spbtnExitClick() {
    close();
}

void TMainForm::Image1Click() {
    if (!makerSiteAddress_.isEmpty()) QDesktopServices::openUrl(QUrl(makerSiteAddress_));
}

}  // namespace tharvel
