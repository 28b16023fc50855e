#pragma once

#include "ui_TouchScreenDeviceSetup.h"

#include <QDialog>

class TouchScreenDevice;

// Chooses the output window that a touch screen device watches: one item per output
// of kind 0 of every media server, "server/output", with the pair of ids as its data.
// OK is enabled while an output is chosen. Lives for one showSetupDialog call, on the
// GUI thread; it does not own the device.
class TouchScreenDeviceSetup : public QDialog, public Ui::TouchScreenDeviceSetup
{
    Q_OBJECT

public:
    TouchScreenDeviceSetup(TouchScreenDevice *device, QWidget *parent = nullptr);

    // Lists the outputs and makes the device's current one current, when listed.
    void fillOutputList();

private:
    TouchScreenDevice *m_device;
};
