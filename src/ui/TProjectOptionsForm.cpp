#include "ui/TProjectOptionsForm.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <stdexcept>

#include "dump/TDumpCompressor.h"
#include "mysql/TMySqlVioTls.h"
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

TProjectOptionsForm::TProjectOptionsForm(const VT::Row& row, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ProjectOptionsForm"));
    setWindowTitle(QStringLiteral("Project options"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(400, 253);
    setFont(UiLook::baseFont());
    auto text = [&row](VTColumn column) {
        return QString::fromStdString(row[static_cast<size_t>(column)].toText());
    };

    auto* dump = new QGroupBox(QStringLiteral("Dump file"), this);
    dump->setObjectName(QStringLiteral("GroupBoxDump"));
    dump->setGeometry(8, 8, 384, 110);
    UiLook::caption(dump, QStringLiteral("Compression"), 8, 27);
    cbDumpCompression = new QComboBox(dump);
    cbDumpCompression->setObjectName(QStringLiteral("cbDumpCompression"));
    cbDumpCompression->setGeometry(130, 22, 160, 22);
    cbDumpCompression->addItem(QStringLiteral("None (.sql)"), QString());
    cbDumpCompression->addItem(QStringLiteral("gzip (.sql.gz)"), QStringLiteral("gzip"));
    cbDumpCompression->addItem(QStringLiteral("zstd (.sql.zst)"), QStringLiteral("zstd"));
    const QString compression = text(VTColumn::DumpCompression);
    const auto known = ParseDumpCompression(compression.toStdString());
    QString compressionData = compression;
    if (known) compressionData = *known == TDumpCompression::None ? QString() : compression.toLower();
    compressionShown_ = select(cbDumpCompression, compressionData);

    UiLook::caption(dump, QStringLiteral("Keep daily dumps"), 8, 57);
    spnKeepDailyDumps = new QSpinBox(dump);
    spnKeepDailyDumps->setObjectName(QStringLiteral("spnKeepDailyDumps"));
    spnKeepDailyDumps->setGeometry(130, 52, 80, 22);
    spnKeepDailyDumps->setRange(0, 99999);
    spnKeepDailyDumps->setSpecialValueText(QStringLiteral("All"));
    keepShown_ = std::max(0, row[static_cast<size_t>(VTColumn::KeepDailyDumps)].toInt32(0));
    spnKeepDailyDumps->setValue(keepShown_);
    auto* keepHint = new QLabel(
        QStringLiteral("With \"New backup each day\": the newest dated dumps kept; older ones are deleted."),
        dump);
    keepHint->setWordWrap(true);
    keepHint->setGeometry(8, 78, 368, 28);

    auto* security = new QGroupBox(QStringLiteral("Connection security"), this);
    security->setObjectName(QStringLiteral("GroupBoxSecurity"));
    security->setGeometry(8, 124, 384, 88);
    UiLook::caption(security, QStringLiteral("TLS"), 8, 27);
    cbMySQLTLS = new QComboBox(security);
    cbMySQLTLS->setObjectName(QStringLiteral("cbMySQLTLS"));
    cbMySQLTLS->setGeometry(130, 22, 246, 22);
    cbMySQLTLS->addItem(QStringLiteral("Off"), QStringLiteral("off"));
    cbMySQLTLS->addItem(QStringLiteral("Preferred"), QString());
    cbMySQLTLS->addItem(QStringLiteral("Required"), QStringLiteral("required"));
    cbMySQLTLS->addItem(QStringLiteral("Required, verify the server"), QStringLiteral("verify"));
    // Read by the backup's own rule, so a text the backup would refuse shows as unknown.
    QString tls = text(VTColumn::MySQLTLS);
    try {
        if (ParseTlsMode(tls.toStdString()) == TMyTlsMode::tlsPreferred) tls.clear();
    } catch (const std::invalid_argument&) {
    }
    tlsShown_ = select(cbMySQLTLS, tls);

    UiLook::caption(security, QStringLiteral("CA file"), 8, 57);
    EdtMySQLTLSCA = new QLineEdit(security);
    EdtMySQLTLSCA->setObjectName(QStringLiteral("EdtMySQLTLSCA"));
    EdtMySQLTLSCA->setGeometry(130, 52, 223, 22);
    EdtMySQLTLSCA->setPlaceholderText(QStringLiteral("The system's certificates"));
    caShown_ = text(VTColumn::MySQLTLSCA);
    EdtMySQLTLSCA->setText(caShown_);
    btnMySQLTLSCA = new QPushButton(QStringLiteral("..."), security);
    btnMySQLTLSCA->setObjectName(QStringLiteral("btnMySQLTLSCA"));
    btnMySQLTLSCA->setGeometry(353, 52, 23, 22);
    btnMySQLTLSCA->setAutoDefault(false);
    connect(btnMySQLTLSCA, &QPushButton::clicked, this, &TProjectOptionsForm::btnMySQLTLSCAClick);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(236, 220, 75, 25);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(317, 220, 75, 25);
    btnCancel->setAutoDefault(false);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TProjectOptionsForm::btnMySQLTLSCAClick() {
    const QString file =
        QFileDialog::getOpenFileName(this, QStringLiteral("CA file"), EdtMySQLTLSCA->text(),
                                     QStringLiteral("Certificates (*.pem *.crt);;All files (*)"));
    if (!file.isEmpty()) EdtMySQLTLSCA->setText(file);
}

std::vector<std::pair<VTColumn, VTValue>> TProjectOptionsForm::changed() const {
    std::vector<std::pair<VTColumn, VTValue>> out;
    // Empty text is an empty value: the setting's default.
    auto add = [&out](VTColumn column, const QString& text) {
        out.emplace_back(column, VTValue(text.toStdString()));
    };
    if (cbDumpCompression->currentIndex() != compressionShown_)
        add(VTColumn::DumpCompression, cbDumpCompression->currentData().toString());
    const int keep = spnKeepDailyDumps->value();
    if (keep != keepShown_) add(VTColumn::KeepDailyDumps, keep == 0 ? QString() : QString::number(keep));
    if (cbMySQLTLS->currentIndex() != tlsShown_)
        add(VTColumn::MySQLTLS, cbMySQLTLS->currentData().toString());
    const QString ca = EdtMySQLTLSCA->text().trimmed();
    if (ca != caShown_) add(VTColumn::MySQLTLSCA, ca);
    return out;
}

}  // namespace tharvel
