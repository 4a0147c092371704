#include "ui/Tcontactmessage.h"

namespace tharvel {

Tcontactmessage::Tcontactmessage(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("contactmessage"));
    setWindowTitle(QStringLiteral("Contact Quellan"));
}

}  // namespace tharvel
