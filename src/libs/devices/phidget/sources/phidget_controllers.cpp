#include "phidget_controllers.h"

#include "phidget_bridge.h"
#include "phidget_channel_data.h"
#include "phidget_runtime_p.h"

#include <NodeData.h>
#include <Show.h>

#include <phidget22.h>

#include <memory>

const QUuid PhidgetDigitalOutputController::s_controllerType(
    QStringLiteral("00bb5358-1fab-4ba2-bd3c-beb9a3f842de"));
const QUuid PhidgetDigitalInputController::s_controllerType(
    QStringLiteral("20b803c3-5f56-4bb0-94dd-945d0219153f"));
const QUuid PhidgetEncoderController::s_controllerType(
    QStringLiteral("a1c7e934-82d5-4f3b-9e60-dc4b5f781023"));

namespace {
PropertySlotDescriptors channelProperty(LM_PhidgetChannelType type)
{
    return {
        {"Channel", kPhidgetChannelDataTypeId, 0, std::make_shared<PhidgetChannelData>(type), 0}};
}

void clearDefined(const std::vector<std::shared_ptr<ANodeData>> &values)
{
    for (const std::shared_ptr<ANodeData> &value : values) {
        if (value)
            value->defined = false;
    }
}

// The handle of the designated channel when the device's runtime opened it as `type`.
PhidgetHandle openHandle(const PhidgetDevice *device, int channelId, LM_PhidgetChannelType type)
{
    const PhidgetDevice::Runtime *runtime = device ? device->runtime() : nullptr;
    return runtime ? runtime->channelHandle(channelId, type) : nullptr;
}

// The handle of the channel that `controller` designates, opened as `type`, or null.
PhidgetHandle designatedHandle(
    const PhidgetChannelController &controller, LM_PhidgetChannelType type)
{
    const PhidgetChannelData *designated = controller.channel();
    const PhidgetDevice *device = controller.resolveDevice();
    if (!designated || !device)
        return nullptr;
    return openHandle(device, designated->channelID, type);
}
} // namespace

// ---- PhidgetChannelController ----

PhidgetChannelController::PhidgetChannelController(const QUuid &controllerType, Node &node)
    : IShowNodeController(controllerType, node, false)
{ }

const PhidgetChannelData *PhidgetChannelController::channel() const
{
    const auto *value = propertyData<PhidgetChannelData>(0);
    return value && value->defined ? value : nullptr;
}

PhidgetDevice *PhidgetChannelController::resolveDevice() const
{
    const PhidgetChannelData *value = channel();
    const Show *show = getOwnerShow();
    if (!value || !show)
        return nullptr;
    // A descriptor of another kind of device must never be used as a Phidget device.
    return qobject_cast<PhidgetDevice *>(show->resolveDevice(value->device));
}

bool PhidgetChannelController::matchesChannel(int channelId) const
{
    const PhidgetChannelData *value = channel();
    return value && value->channelID == channelId;
}

template<class Signal, class Controller, class Handler>
void PhidgetChannelController::rebind(Signal signal, Handler Controller::*handler)
{
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    clearDefined(m_outputValues);

    PhidgetDevice *device = resolveDevice();
    if (!device)
        return;
    // Queued: the device emits on Phidget22's threads; the handlers touch the graph, which
    // belongs to this controller's thread. Events arrive in the order they were emitted.
    m_connections << connect(
        device, signal, static_cast<Controller *>(this), handler, Qt::QueuedConnection);
    m_connections << connect(device, &PhidgetDevice::channelDetached, this,
        &PhidgetChannelController::onChannelDetached, Qt::QueuedConnection);
}

void PhidgetChannelController::onChannelDetached(int channelId)
{
    if (!matchesChannel(channelId))
        return;
    clearDefined(m_outputValues);
}

// ---- PhidgetDigitalInputController ----

PhidgetDigitalInputController::PhidgetDigitalInputController(
    const QUuid &controllerType, Node &node)
    : PhidgetChannelController(controllerType, node)
{ }

const OutputSlotDescriptors &PhidgetDigitalInputController::outputSlots() const
{
    static const OutputSlotDescriptors descriptors = {{"Value", kBoolDataTypeId, 0}};
    return descriptors;
}

const TriggerDescriptors &PhidgetDigitalInputController::outputTriggers() const
{
    static const TriggerDescriptors descriptors = {{0, "Changed"}};
    return descriptors;
}

const PropertySlotDescriptors &PhidgetDigitalInputController::propertySlots() const
{
    static const PropertySlotDescriptors descriptors = channelProperty(LM_DIGITAL_INPUT);
    return descriptors;
}

bool PhidgetDigitalInputController::emitsTriggers() const
{
    return true;
}

void PhidgetDigitalInputController::onPropertyChanged(int)
{
    rebind(
        &PhidgetDevice::digitalInputChanged, &PhidgetDigitalInputController::onDigitalInputChanged);
}

void PhidgetDigitalInputController::onDigitalInputChanged(int channelId, bool state)
{
    if (!matchesChannel(channelId))
        return;
    if (BoolData *value = outputData<BoolData>(0)) {
        value->value = state;
        value->defined = true;
    }
    fireOutputTrigger(0);
}

void PhidgetDigitalInputController::updateOutputs()
{
    BoolData *value = outputData<BoolData>(0);
    if (!value || value->defined)
        return;
    auto handle
        = reinterpret_cast<PhidgetDigitalInputHandle>(designatedHandle(*this, LM_DIGITAL_INPUT));
    if (!handle)
        return;
    // Not attached yet fails quietly; a later tick polls again.
    int state = 0;
    if (PhidgetDigitalInput_getState(handle, &state) == EPHIDGET_OK) {
        value->value = state != 0;
        value->defined = true;
    }
}

// ---- PhidgetEncoderController ----

PhidgetEncoderController::PhidgetEncoderController(const QUuid &controllerType, Node &node)
    : PhidgetChannelController(controllerType, node)
{ }

const OutputSlotDescriptors &PhidgetEncoderController::outputSlots() const
{
    static const OutputSlotDescriptors descriptors
        = {{"Position", kIntDataTypeId, 0}, {"Position Change", kIntDataTypeId, 1}};
    return descriptors;
}

const TriggerDescriptors &PhidgetEncoderController::outputTriggers() const
{
    static const TriggerDescriptors descriptors = {{0, "Changed"}};
    return descriptors;
}

const PropertySlotDescriptors &PhidgetEncoderController::propertySlots() const
{
    static const PropertySlotDescriptors descriptors = channelProperty(LM_ENCODER);
    return descriptors;
}

bool PhidgetEncoderController::emitsTriggers() const
{
    return true;
}

void PhidgetEncoderController::onPropertyChanged(int)
{
    rebind(&PhidgetDevice::encoderPositionChanged,
        &PhidgetEncoderController::onEncoderPositionChanged);
}

void PhidgetEncoderController::onEncoderPositionChanged(
    int channelId, int64_t position, int positionChange)
{
    if (!matchesChannel(channelId))
        return;
    if (IntData *value = outputData<IntData>(0)) {
        // The low 32 bits of Phidget22's 64-bit position.
        value->value = qint32(quint32(quint64(position)));
        value->defined = true;
    }
    if (IntData *value = outputData<IntData>(1)) {
        value->value = positionChange;
        value->defined = true;
    }
    fireOutputTrigger(0);
}

void PhidgetEncoderController::updateOutputs()
{
    IntData *value = outputData<IntData>(0);
    if (!value || value->defined)
        return;
    auto handle = reinterpret_cast<PhidgetEncoderHandle>(designatedHandle(*this, LM_ENCODER));
    if (!handle)
        return;
    int64_t position = 0;
    if (PhidgetEncoder_getPosition(handle, &position) == EPHIDGET_OK) {
        value->value = qint32(quint32(quint64(position)));
        value->defined = true;
    }
}

// ---- PhidgetDigitalOutputController ----

PhidgetDigitalOutputController::PhidgetDigitalOutputController(
    const QUuid &controllerType, Node &node)
    : PhidgetChannelController(controllerType, node)
{ }

const InputSlotDescriptors &PhidgetDigitalOutputController::inputSlots() const
{
    static const InputSlotDescriptors descriptors
        = {{"Value", kBoolDataTypeId, 0, std::make_shared<BoolData>(false), false, 0}};
    return descriptors;
}

const TriggerDescriptors &PhidgetDigitalOutputController::inputTriggers() const
{
    static const TriggerDescriptors descriptors = {{0, "Set"}};
    return descriptors;
}

const PropertySlotDescriptors &PhidgetDigitalOutputController::propertySlots() const
{
    static const PropertySlotDescriptors descriptors = channelProperty(LM_DIGITAL_OUTPUT);
    return descriptors;
}

void PhidgetDigitalOutputController::readValues(const QDomElement &element)
{
    IShowNodeController::readValues(element);
}

void PhidgetDigitalOutputController::onInputTrigger(int)
{
    const std::shared_ptr<BoolData> value = inputValue<BoolData>(0);
    if (!value || !value->defined)
        return;
    const PhidgetChannelData *designated = channel();
    PhidgetDevice *device = resolveDevice();
    if (!designated || !device || !device->runtime())
        return;
    // Hosting as the runtime decided it when it started the server: a setup accepted since
    // then (not yet applied by init) must not make a second instance drive the output.
    device->runtime()->writeDigitalOutput(designated->channelID, value->value);
}
