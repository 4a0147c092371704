#include "ui/TAboutForm.h"

namespace tharvel {

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About"));
}

}  // namespace tharvel
