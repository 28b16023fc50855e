#include "ping_device_setup.h"

#include <QPushButton>

PingDeviceSetup::PingDeviceSetup(QWidget *parent)
    : QDialog(parent)
{
    setupUi(this);
    QPushButton *ok = buttonBox->button(QDialogButtonBox::Ok);
    const auto updateOk = [this, ok] { ok->setEnabled(!hostLineEdit->text().isEmpty()); };
    connect(hostLineEdit, &QLineEdit::textChanged, this, updateOk);
    updateOk();
}
