#include "touchscreen_controllers.h"

#include "touchscreen_device.h"

#include <DeviceNode.h>

const QUuid OnTouchController::s_controllerType(
    QStringLiteral("ba3ff828-652f-434d-bcd6-96634d9bc0f4"));
const QUuid OnTouchZoneController::s_controllerType(
    QStringLiteral("22127c73-0cf8-49f9-91d8-8d5aa096ee27"));

TouchController::TouchController(const QUuid &controllerType, Node &node)
    : IShowNodeController(controllerType, node, false)
{ }

TouchController::~TouchController() = default;

const OutputSlotDescriptors &TouchController::outputSlots() const
{
    static const OutputSlotDescriptors descriptors = {{"Position", kVec2DataTypeId, 0}};
    return descriptors;
}

const TriggerDescriptors &TouchController::outputTriggers() const
{
    static const TriggerDescriptors descriptors = {{0, "On Touch"}};
    return descriptors;
}

const PropertySlotDescriptors &TouchController::propertySlots() const
{
    static const PropertySlotDescriptors descriptors
        = devicePropertySlots(TouchScreenDevice::s_typeName);
    return descriptors;
}

// Drops the old binding and the position it gave, then connects onTouch to the touch
// screen device that the "Device" property designates, if the show has one. The controller
// is the connection's context: Qt drops the connection with it, and the automatic type
// queues the call when the device emits on another thread.
void TouchController::onPropertyChanged(int index)
{
    if (index != 0)
        return;
    if (m_connection) {
        disconnect(m_connection);
        m_connection = QMetaObject::Connection();
    }
    if (Vec2Data *position = outputData<Vec2Data>(0))
        position->defined = false;

    auto *device = designatedDevice<TouchScreenDevice>(*this);
    if (!device)
        return;
    m_connection = connect(
        device, &TouchScreenDevice::touchReceived, this, [this](QPointF pos) { onTouch(pos); });
}

bool TouchController::emitsTriggers() const
{
    return true;
}

void TouchController::report(QPointF pos)
{
    if (Vec2Data *position = outputData<Vec2Data>(0)) {
        position->x = float(pos.x());
        position->y = float(pos.y());
        position->defined = true;
    }
    fireOutputTrigger(0);
}

OnTouchController::OnTouchController(const QUuid &controllerType, Node &node)
    : TouchController(controllerType, node)
{ }

void OnTouchController::onTouch(QPointF pos)
{
    report(pos);
}

OnTouchZoneController::OnTouchZoneController(const QUuid &controllerType, Node &node)
    : TouchController(controllerType, node)
{ }

const InputSlotDescriptors &OnTouchZoneController::inputSlots() const
{
    // (1, 1) to (1920, 1080): a full HD output, in the output window's pixels.
    static const InputSlotDescriptors descriptors
        = {{"Top Left", kVec2DataTypeId, 0, std::make_shared<Vec2Data>(1.0f, 1.0f), false, 0},
            {"Bottom Right", kVec2DataTypeId, 1, std::make_shared<Vec2Data>(1920.0f, 1080.0f),
                false, 0}};
    return descriptors;
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
        report(pos);
}
