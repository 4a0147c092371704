#include "ui/ProjectOptionsWindow.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <stdexcept>

#include "dump/DumpCompressor.h"
#include "mysql/TlsTransport.h"
#include "ui/UiLook.h"

namespace tharvel {
namespace {

// Selects the entry whose data is `value`; a value the list does not know (a
// project file edited by hand) is shown as an entry of its own, so that it is kept.
int select(QComboBox* box, const QString& value) {
    int index = box->findData(value);
    if (index < 0) {
        box->addItem(value + QStringLiteral(" (unknown)"), value);
        index = box->count() - 1;
    }
    box->setCurrentIndex(index);
    return index;
}

}  // namespace

ProjectOptionsWindow::ProjectOptionsWindow(const ProjectTable::Row& row, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ProjectOptionsWindow"));
    setWindowTitle(QStringLiteral("Project options"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(400, 253);
    setFont(UiLook::baseFont());
    auto text = [&row](ProjectColumn column) {
        return QString::fromStdString(row[static_cast<size_t>(column)].toText());
    };

    auto* dumpGroup = new QGroupBox(QStringLiteral("Dump file"), this);
    dumpGroup->setObjectName(QStringLiteral("dumpGroup"));
    dumpGroup->setGeometry(8, 8, 384, 110);
    UiLook::caption(dumpGroup, QStringLiteral("Compression"), 8, 27);
    compressionBox = new QComboBox(dumpGroup);
    compressionBox->setObjectName(QStringLiteral("compressionBox"));
    compressionBox->setGeometry(130, 22, 160, 22);
    compressionBox->addItem(QStringLiteral("None (.sql)"), QString());
    compressionBox->addItem(QStringLiteral("gzip (.sql.gz)"), QStringLiteral("gzip"));
    compressionBox->addItem(QStringLiteral("zstd (.sql.zst)"), QStringLiteral("zstd"));
    const QString compression = text(ProjectColumn::DumpCompression);
    const auto known = parseDumpCompression(compression.toStdString());
    QString compressionData = compression;
    if (known) compressionData = *known == Compression::None ? QString() : compression.toLower();
    compressionShown_ = select(compressionBox, compressionData);

    UiLook::caption(dumpGroup, QStringLiteral("Keep daily dumps"), 8, 57);
    keepDailyDumpsBox = new QSpinBox(dumpGroup);
    keepDailyDumpsBox->setObjectName(QStringLiteral("keepDailyDumpsBox"));
    keepDailyDumpsBox->setGeometry(130, 52, 80, 22);
    keepDailyDumpsBox->setRange(0, 99999);
    keepDailyDumpsBox->setSpecialValueText(QStringLiteral("All"));
    keepShown_ = std::max(0, row[static_cast<size_t>(ProjectColumn::KeepDailyDumps)].toInt32(0));
    keepDailyDumpsBox->setValue(keepShown_);
    auto* keepHint = new QLabel(
        QStringLiteral("With \"New backup each day\": the newest dated dumps kept; older ones are deleted."),
        dumpGroup);
    keepHint->setWordWrap(true);
    keepHint->setGeometry(8, 78, 368, 28);

    auto* securityGroup = new QGroupBox(QStringLiteral("Connection security"), this);
    securityGroup->setObjectName(QStringLiteral("securityGroup"));
    securityGroup->setGeometry(8, 124, 384, 88);
    UiLook::caption(securityGroup, QStringLiteral("TLS"), 8, 27);
    tlsBox = new QComboBox(securityGroup);
    tlsBox->setObjectName(QStringLiteral("tlsBox"));
    tlsBox->setGeometry(130, 22, 246, 22);
    tlsBox->addItem(QStringLiteral("Off"), QStringLiteral("off"));
    tlsBox->addItem(QStringLiteral("Preferred"), QString());
    tlsBox->addItem(QStringLiteral("Required"), QStringLiteral("required"));
    tlsBox->addItem(QStringLiteral("Required, verify the server"), QStringLiteral("verify"));
    // Read by the backup's own rule, so a text the backup would refuse shows as unknown.
    QString tls = text(ProjectColumn::MySQLTLS);
    try {
        if (parseTlsMode(tls.toStdString()) == TlsMode::Preferred) tls.clear();
    } catch (const std::invalid_argument&) {
    }
    tlsShown_ = select(tlsBox, tls);

    UiLook::caption(securityGroup, QStringLiteral("CA file"), 8, 57);
    caFileEdit = new QLineEdit(securityGroup);
    caFileEdit->setObjectName(QStringLiteral("caFileEdit"));
    caFileEdit->setGeometry(130, 52, 223, 22);
    caFileEdit->setPlaceholderText(QStringLiteral("The system's certificates"));
    caShown_ = text(ProjectColumn::MySQLTLSCA);
    caFileEdit->setText(caShown_);
    caFileButton = new QPushButton(QStringLiteral("..."), securityGroup);
    caFileButton->setObjectName(QStringLiteral("caFileButton"));
    caFileButton->setGeometry(353, 52, 23, 22);
    caFileButton->setAutoDefault(false);
    connect(caFileButton, &QPushButton::clicked, this, &ProjectOptionsWindow::pickCaFile);

    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setGeometry(236, 220, 75, 25);
    okButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setGeometry(317, 220, 75, 25);
    cancelButton->setAutoDefault(false);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void ProjectOptionsWindow::pickCaFile() {
    const QString file =
        QFileDialog::getOpenFileName(this, QStringLiteral("CA file"), caFileEdit->text(),
                                     QStringLiteral("Certificates (*.pem *.crt);;All files (*)"));
    if (!file.isEmpty()) caFileEdit->setText(file);
}

std::vector<std::pair<ProjectColumn, ProjectValue>> ProjectOptionsWindow::changed() const {
    std::vector<std::pair<ProjectColumn, ProjectValue>> out;
    // Empty text is an empty value: the setting's default.
    auto add = [&out](ProjectColumn column, const QString& text) {
        out.emplace_back(column, ProjectValue(text.toStdString()));
    };
    if (compressionBox->currentIndex() != compressionShown_)
        add(ProjectColumn::DumpCompression, compressionBox->currentData().toString());
    const int keep = keepDailyDumpsBox->value();
    if (keep != keepShown_) add(ProjectColumn::KeepDailyDumps, keep == 0 ? QString() : QString::number(keep));
    if (tlsBox->currentIndex() != tlsShown_) add(ProjectColumn::MySQLTLS, tlsBox->currentData().toString());
    const QString ca = caFileEdit->text().trimmed();
    if (ca != caShown_) add(ProjectColumn::MySQLTLSCA, ca);
    return out;
}

}  // namespace tharvel
