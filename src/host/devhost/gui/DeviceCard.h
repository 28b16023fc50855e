#pragma once

#include "Device.h"
#include "Show.h"

#include <QFrame>
#include <QPointer>

#include <memory>

class ShowEditor;
class QPushButton;
class UserScreenWidget;

namespace Ui {
class DeviceCard;
}

// One device of an instance: its name, a button for its setup dialog and its
// user-screen widget when it has one. GUI thread only.
class DeviceCard : public QFrame
{
    Q_OBJECT
public:
    DeviceCard(ShowEditor &editor, Show &show, Device &device, const QIcon &icon,
        QWidget *parent = nullptr);
    ~DeviceCard() override;

    Device *device() const { return m_device; }
    UserScreenWidget *userScreenWidget() const { return m_widget; }
    QPushButton *button() const;

private:
    void updateTitle();

    std::unique_ptr<Ui::DeviceCard> m_ui;
    ShowEditor &m_editor;
    QPointer<Show> m_show;
    QPointer<Device> m_device;
    // Owned through the parent link.
    UserScreenWidget *m_widget = nullptr;
};
