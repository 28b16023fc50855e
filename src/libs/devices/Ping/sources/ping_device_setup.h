#pragma once

#include "ui_PingDeviceSetup.h"

#include <QDialog>

// Host and interval of a ping device; OK stays disabled while the host is empty.
class PingDeviceSetup : public QDialog, public Ui::PingDeviceSetup
{
public:
    explicit PingDeviceSetup(QWidget *parent = nullptr);
};
