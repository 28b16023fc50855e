#pragma once

#include "ui_PhidgetDeviceSetup.h"

#include <QDialog>
#include <QPointer>

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

    // Writes the name and a whole new configuration into the device; false when the
    // device was deleted while the dialog was open.
    bool apply();

private slots:
    void onAddChannel();
    void onDeleteChannel();
    void onServerIndexChanged(int index);

private:
    // Not owned. Guarded: the host may delete the device while the dialog runs modally.
    QPointer<PhidgetDevice> m_device;
    PhidgetChannelsModel *m_model = nullptr;
    QSortFilterProxyModel *m_proxy = nullptr;
};
