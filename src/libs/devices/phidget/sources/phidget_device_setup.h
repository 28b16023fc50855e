#pragma once

#include "ui_PhidgetDeviceSetup.h"

#include <QDialog>

class PhidgetChannelsModel;
class PhidgetDevice;
class QSortFilterProxyModel;

// Edits a Phidget device's name, board, server and channels. Nothing reaches the
// device until apply(), which the caller runs after the dialog was accepted. GUI thread
// only, like the device it edits.
class PhidgetDeviceSetup : public QDialog, public Ui::PhidgetDeviceSetup
{
    Q_OBJECT
public:
    explicit PhidgetDeviceSetup(PhidgetDevice *device, QWidget *parent = nullptr);

    // Writes the name and a whole new configuration into the device.
    void apply();

private slots:
    void onAddChannel();
    void onDeleteChannel();
    void onServerIndexChanged(int index);

private:
    PhidgetDevice *m_device; // not owned
    PhidgetChannelsModel *m_model = nullptr;
    QSortFilterProxyModel *m_proxy = nullptr;
};
