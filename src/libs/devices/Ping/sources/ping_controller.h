#pragma once

#include <IShowNodeController.h>

#include <QMetaObject>
#include <QUuid>

class BoolData;
class PingDevice;

// "Ping status": offers the designated ping device's last result on "Reachable".
class PingController : public IShowNodeController
{
public:
    static const QUuid s_controllerType;

    PingController(const QUuid &controllerType, Node &node);
    ~PingController() override;

    const OutputSlotDescriptors &outputSlots() const override;
    const PropertySlotDescriptors &propertySlots() const override;
    void onPropertyChanged(int index) override;
    void updateOutputs() override;

    // The ping device that the "Device" property designates in the owner show, or null.
    PingDevice *resolveDevice() const;

private:
    BoolData *reachableOutput() const;

    QMetaObject::Connection m_connection;
};
