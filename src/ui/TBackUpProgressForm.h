#pragma once
#include <QDialog>
#include <QString>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tharvel {

// The modal window of a backup run: the project in hand, the step in hand, the
// progress of the step and of the whole run, and Cancel.
class TBackUpProgressForm : public QDialog {
    Q_OBJECT
public:
    explicit TBackUpProgressForm(QWidget* parent = nullptr);
    ~TBackUpProgressForm() override;

    QLabel* TntLabel1;
    QLabel* LabelProjName;
    QLabel* TntLabel3;
    QProgressBar* ProgressBar1;
    QProgressBar* ProgressBar2;
    QPushButton* btnCancel;

    // Shows a position; above 100 shows full.
    static void setPosition(QProgressBar* bar, int position);

private:
    void buildLayout();
};

}  // namespace tharvel
