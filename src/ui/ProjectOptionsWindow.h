#pragma once
#include <QDialog>
#include <utility>
#include <vector>

#include "projects/ProjectTable.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tharvel {

// The project's optional settings (dump compression, daily dumps kept, TLS and its
// CA file), edited for one row. The window only reads the row it was given; the
// main window stores what changed() returns and posts it.
class ProjectOptionsWindow : public QDialog {
    Q_OBJECT
public:
    explicit ProjectOptionsWindow(const ProjectTable::Row& row, QWidget* parent = nullptr);

    // The settings the user changed, each with its new value: empty for a default,
    // so that it leaves no line in the project file. A control left as it was
    // changes nothing, whatever text the row held.
    std::vector<std::pair<ProjectColumn, ProjectValue>> changed() const;

    QComboBox* compressionBox;
    QSpinBox* keepDailyDumpsBox;
    QComboBox* tlsBox;
    QLineEdit* caFileEdit;
    QPushButton* caFileButton;
    QPushButton* okButton;
    QPushButton* cancelButton;

private:
    void pickCaFile();

    int compressionShown_ = 0;
    int keepShown_ = 0;
    int tlsShown_ = 0;
    QString caShown_;
};

}  // namespace tharvel
