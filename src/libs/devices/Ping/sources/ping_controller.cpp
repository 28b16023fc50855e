#include "ping_controller.h"

#include "ping_bridge.h"

#include <DeviceNode.h>

const QUuid PingController::s_controllerType(
    QStringLiteral("a7f3c142-8b2e-4d16-9f5a-3e0c7d1a8b4f"));

PingController::PingController(const QUuid &controllerType, Node &node)
    : IShowNodeController(controllerType, node, false)
{ }

PingController::~PingController() = default;

const OutputSlotDescriptors &PingController::outputSlots() const
{
    static const OutputSlotDescriptors descriptors = {{"Reachable", kBoolDataTypeId, 0}};
    return descriptors;
}

const PropertySlotDescriptors &PingController::propertySlots() const
{
    static const PropertySlotDescriptors descriptors = devicePropertySlots(PingDevice::s_typeName);
    return descriptors;
}

BoolData *PingController::reachableOutput() const
{
    return outputData<BoolData>(0);
}

PingDevice *PingController::resolveDevice() const
{
    return designatedDevice<PingDevice>(*this);
}

void PingController::onPropertyChanged(int index)
{
    if (index != 0)
        return;

    if (BoolData *output = reachableOutput()) {
        output->value = false;
        output->defined = false;
    }
    if (m_connection) {
        disconnect(m_connection);
        m_connection = QMetaObject::Connection();
    }

    PingDevice *device = resolveDevice();
    if (!device)
        return;
    m_connection = connect(device, &PingDevice::reachabilityChanged, this, [this](bool reachable) {
        if (BoolData *output = reachableOutput()) {
            output->value = reachable;
            output->defined = true;
        }
    });
}

void PingController::updateOutputs()
{
    BoolData *output = reachableOutput();
    if (!output)
        return;
    const PingDevice *device = resolveDevice();
    if (!device || !device->hasStatus) {
        output->defined = false;
        return;
    }
    output->value = device->reachable;
    output->defined = true;
}
