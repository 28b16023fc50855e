#pragma once

#include <IShowNodeController.h>

#include <QMetaObject>
#include <QPointF>
#include <QUuid>

class TouchScreenDevice;

// Shared by the two touch nodes: the "Device" property (property 0), the "Position" output
// and the "On Touch" trigger, and the binding to the designated touch screen device.
//
// Threads: the controller's members are used on the controller's thread only; the
// device's touchReceived reaches it through an automatic connection, so directly
// when the device emits on that thread and queued otherwise.
class TouchController : public IShowNodeController
{
public:
    TouchController(const QUuid &controllerType, Node &node);
    ~TouchController() override;

    const OutputSlotDescriptors &outputSlots() const override;
    const TriggerDescriptors &outputTriggers() const override;
    const PropertySlotDescriptors &propertySlots() const override;
    void onPropertyChanged(int index) override;
    bool emitsTriggers() const override;

protected:
    // A touch of the designated device, in the output window's pixels.
    virtual void onTouch(QPointF pos) = 0;
    // "Position" takes pos, then "On Touch" fires.
    void report(QPointF pos);

private:
    QMetaObject::Connection m_connection; // to the device's touchReceived; empty while unbound
};

// "On Touch": every touch of the designated touch screen device goes to "Position",
// then "On Touch" fires.
class OnTouchController : public TouchController
{
public:
    static const QUuid s_controllerType;

    OnTouchController(const QUuid &controllerType, Node &node);

protected:
    void onTouch(QPointF pos) override;
};

// "On Touch Zone": like "On Touch", for touches inside the rectangle from "Top Left"
// to "Bottom Right", all four edges included.
class OnTouchZoneController : public TouchController
{
public:
    static const QUuid s_controllerType;

    OnTouchZoneController(const QUuid &controllerType, Node &node);

    const InputSlotDescriptors &inputSlots() const override;

protected:
    void onTouch(QPointF pos) override;
};
