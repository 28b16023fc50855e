#pragma once

#include <IShowNodeController.h>

#include <QMetaObject>
#include <QPointF>
#include <QUuid>

class TouchScreenDevice;

// "On Touch": every touch of the designated touch screen device goes to "Position",
// then "On Touch" fires.
//
// Threads: the controller's members are used on the controller's thread only; the
// device's touchReceived reaches it through an automatic connection, so directly
// when the device emits on that thread and queued otherwise.
class OnTouchController : public IShowNodeController
{
public:
    static const QUuid s_controllerType;

    OnTouchController(const QUuid &controllerType, Node &node);
    ~OnTouchController() override;

    const OutputSlotDescriptors &outputSlots() const override;
    const TriggerDescriptors &outputTriggers() const override;
    const PropertySlotDescriptors &propertySlots() const override;
    void onPropertyChanged(int index) override;
    bool emitsTriggers() const override;

private:
    QMetaObject::Connection m_connection; // to the device's touchReceived; empty while unbound
};

// "On Touch Zone": like "On Touch", for touches inside the rectangle from "Top Left"
// to "Bottom Right", all four edges included. Same threading as OnTouchController.
class OnTouchZoneController : public IShowNodeController
{
public:
    static const QUuid s_controllerType;

    OnTouchZoneController(const QUuid &controllerType, Node &node);
    ~OnTouchZoneController() override;

    const InputSlotDescriptors &inputSlots() const override;
    const OutputSlotDescriptors &outputSlots() const override;
    const TriggerDescriptors &outputTriggers() const override;
    const PropertySlotDescriptors &propertySlots() const override;
    void onPropertyChanged(int index) override;
    bool emitsTriggers() const override;

private:
    void onTouch(QPointF pos);

    QMetaObject::Connection m_connection; // to the device's touchReceived; empty while unbound
};
