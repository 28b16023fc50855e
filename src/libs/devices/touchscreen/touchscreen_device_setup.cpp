#include "touchscreen_device_setup.h"

#include "touchscreen_device.h"

#include <Screen.h>

#include <QIcon>
#include <QPushButton>
#include <QVariantList>

TouchScreenDeviceSetup::TouchScreenDeviceSetup(TouchScreenDevice *device, QWidget *parent)
    : QDialog(parent)
    , m_device(device)
{
    setupUi(this);
    // Without a listed output there is nothing to choose: OK would change nothing.
    QPushButton *ok = buttonBox->button(QDialogButtonBox::Ok);
    const auto updateOk
        = [this, ok] { ok->setEnabled(outputComboBox->currentData(Qt::UserRole).isValid()); };
    connect(outputComboBox, &QComboBox::currentIndexChanged, this, updateOk);
    updateOk();
}

void TouchScreenDeviceSetup::fillOutputList()
{
    outputComboBox->clear();
    int match = -1;
    int count = 0;
    const MediaServers &servers = m_device->getMediaServers();
    for (auto it = servers.cbegin(); it != servers.cend(); ++it) {
        const Screen *screen = it.value();
        if (!screen || !screen->screenSet())
            continue;
        for (const ScreenOutput &output : screen->screenSet()->getScreenOutputs()) {
            if (output.kind() != 0)
                continue;
            // The screen's own id, not the map key, names the server.
            outputComboBox->addItem(QIcon(), screen->name() + QLatin1Char('/') + output.getName(),
                QVariantList {screen->id(), output.id()});
            if (screen->id() == m_device->serverId && output.id() == m_device->serverOutputId)
                match = count;
            ++count;
        }
    }
    if (match >= 0)
        outputComboBox->setCurrentIndex(match);
}
