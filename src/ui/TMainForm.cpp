#include "ui/TMainForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTableView>
#include <QToolButton>
#include <QUrl>

#include "ui/TAboutForm.h"
#include "ui/Tcontactmessage.h"
#include "ui/UiIcons.h"
#include "ui/UiLook.h"

namespace tharvel {
namespace {

QLabel* label(QWidget* parent, const QString& text, int x, int y) {
    auto* l = new QLabel(text, parent);
    l->move(x, y);
    l->adjustSize();
    return l;
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
}

TMainForm::~TMainForm() = default;

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
    tbnClearPassw = new QToolButton(TntGroupBox1);
    tbnClearPassw->setObjectName(QStringLiteral("tbnClearPassw"));
    tbnClearPassw->setGeometry(350, 93, 25, 23);
    tbnClearPassw->setIcon(UiIcons::clearPassword());
    tbnClearPassw->setToolTip(QStringLiteral("Clear Password"));
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
    QRadioButton* radios[] = {rbSkipExisting, rbOverwrite, rbOverwriteOlder};
    for (int i = 0; i < 3; ++i) {
        radios[i]->setObjectName(QStringLiteral("DBRadioGroup%1").arg(i));
        radios[i]->setGeometry(8 + i * 120, 12, 118, 19);
    }

    TntGroupBox4 = new QGroupBox(QStringLiteral("Where to backup"), TntGroupBox3);
    TntGroupBox4->setObjectName(QStringLiteral("TntGroupBox4"));
    TntGroupBox4->setGeometry(8, 376, 385, 81);
    label(TntGroupBox4, QStringLiteral("Backup Directory"), 8, 20);
    DBEdtBackupDirectory = edit(TntGroupBox4, "DBEdtBackupDirectory", 8, 36, 345, 21);
    btnBackupDirectory =
        button(TntGroupBox4, "btnBackupDirectory", QStringLiteral("..."), QIcon(), 352, 36, 23, 21);

    label(TntGroupBox3, QStringLiteral("Last backup:"), 8, 464);
    DBTxtLastBackup = new QLabel(TntGroupBox3);
    DBTxtLastBackup->setObjectName(QStringLiteral("DBTxtLastBackup"));
    DBTxtLastBackup->setGeometry(72, 464, 321, 17);
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

std::vector<QLineEdit*> TMainForm::boundEdits() const {
    return {DBEdtMySQLServer,    DBEdtMySQLPort, DBEdtMySQLDataBase,  DBEdtMySQLUser,
            DBEdtFilesDirectory, DBEdtProject,   DBEdtBackupDirectory};
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Image1 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Image1Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
        FormActivate();
    }
}

void TMainForm::FormShow() {}

void TMainForm::FormActivate() {
    for (auto& hook : activationHooks_) hook();
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
