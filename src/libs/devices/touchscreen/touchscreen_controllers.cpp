#include "touchscreen_controllers.h"

#include "touchscreen_device.h"

#include <NodeData.h>
#include <Show.h>

namespace {

const OutputSlotDescriptors &positionOutput()
{
    static const OutputSlotDescriptors descriptors = {{"Position", Vec2DataTypeId, 0}};
    return descriptors;
}

const TriggerDescriptors &onTouchTrigger()
{
    static const TriggerDescriptors descriptors = {{0, "On Touch"}};
    return descriptors;
}

const PropertySlotDescriptors &deviceProperty()
{
    static const PropertySlotDescriptors descriptors = {{"Device", DeviceDescriptorDataTypeId, 0,
        std::make_shared<DeviceDescriptorData>(TouchScreenDevice::s_typeName), 0}};
    return descriptors;
}

// Drops the old binding and the position it gave, then connects `onTouch` to the
// touch screen device that the "Device" property designates, if the show has one.
// The controller is the connection's context: Qt drops the connection with it, and
// the automatic type queues the call when the device emits on another thread.
template<class Handler>
void rebind(IShowNodeController &controller, QMetaObject::Connection &connection, Handler onTouch)
{
    if (connection) {
        QObject::disconnect(connection);
        connection = QMetaObject::Connection();
    }
    if (Vec2Data *position = controller.outputData<Vec2Data>(0))
        position->defined = false;

    const auto *descriptor = controller.propertyData<DeviceDescriptorData>(0);
    const Show *show = controller.getOwnerShow();
    if (!descriptor || !show)
        return;
    auto *device = qobject_cast<TouchScreenDevice *>(show->resolveDevice(*descriptor));
    if (!device)
        return;
    connection = QObject::connect(device, &TouchScreenDevice::touchReceived, &controller, onTouch);
}

void report(IShowNodeController &controller, QPointF pos)
{
    if (Vec2Data *position = controller.outputData<Vec2Data>(0)) {
        position->x = float(pos.x());
        position->y = float(pos.y());
        position->defined = true;
    }
    controller.fireOutputTrigger(0);
}

} // namespace

const QUuid OnTouchController::s_controllerType(
    QStringLiteral("ba3ff828-652f-434d-bcd6-96634d9bc0f4"));
const QUuid OnTouchZoneController::s_controllerType(
    QStringLiteral("22127c73-0cf8-49f9-91d8-8d5aa096ee27"));

OnTouchController::OnTouchController(const QUuid &controllerType, Node &node)
    : IShowNodeController(controllerType, node, false)
{ }

OnTouchController::~OnTouchController() = default;

const OutputSlotDescriptors &OnTouchController::outputSlots() const
{
    return positionOutput();
}

const TriggerDescriptors &OnTouchController::outputTriggers() const
{
    return onTouchTrigger();
}

const PropertySlotDescriptors &OnTouchController::propertySlots() const
{
    return deviceProperty();
}

void OnTouchController::onPropertyChanged(int index)
{
    if (index == 0)
        rebind(*this, m_connection, [this](QPointF pos) { report(*this, pos); });
}

bool OnTouchController::emitsTriggers() const
{
    return true;
}

OnTouchZoneController::OnTouchZoneController(const QUuid &controllerType, Node &node)
    : IShowNodeController(controllerType, node, false)
{ }

OnTouchZoneController::~OnTouchZoneController() = default;

const InputSlotDescriptors &OnTouchZoneController::inputSlots() const
{
    // (1, 1) to (1920, 1080): a full HD output, in the output window's pixels.
    static const InputSlotDescriptors descriptors
        = {{"Top Left", Vec2DataTypeId, 0, std::make_shared<Vec2Data>(1.0f, 1.0f), false, 0},
            {"Bottom Right", Vec2DataTypeId, 1, std::make_shared<Vec2Data>(1920.0f, 1080.0f), false,
                0}};
    return descriptors;
}

const OutputSlotDescriptors &OnTouchZoneController::outputSlots() const
{
    return positionOutput();
}

const TriggerDescriptors &OnTouchZoneController::outputTriggers() const
{
    return onTouchTrigger();
}

const PropertySlotDescriptors &OnTouchZoneController::propertySlots() const
{
    return deviceProperty();
}

void OnTouchZoneController::onPropertyChanged(int index)
{
    if (index == 0)
        rebind(*this, m_connection, [this](QPointF pos) { onTouch(pos); });
}

bool OnTouchZoneController::emitsTriggers() const
{
    return true;
}

void OnTouchZoneController::onTouch(QPointF pos)
{
    // Read anew for every touch: the corners may be connected to other nodes.
    const std::shared_ptr<Vec2Data> topLeft = inputValue<Vec2Data>(0);
    const std::shared_ptr<Vec2Data> bottomRight = inputValue<Vec2Data>(1);
    if (!topLeft || !topLeft->defined || !bottomRight || !bottomRight->defined)
        return;
    // Taken as they are: a zone whose corners are swapped never hits.
    const bool hit = double(topLeft->x) <= pos.x() && pos.x() <= double(bottomRight->x)
        && double(topLeft->y) <= pos.y() && pos.y() <= double(bottomRight->y);
    if (hit)
        report(*this, pos);
}
