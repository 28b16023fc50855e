#include "phidget_controllers.h"

#include "phidget_bridge.h"
#include "phidget_channel_data.h"
#include "phidget_runtime_p.h"

#include <NodeData.h>
#include <Show.h>

#include <phidget22.h>

#include <map>
#include <memory>

const QUuid PhidgetDigitalOutputController::s_controllerType(
    QStringLiteral("00bb5358-1fab-4ba2-bd3c-beb9a3f842de"));
const QUuid PhidgetDigitalInputController::s_controllerType(
    QStringLiteral("20b803c3-5f56-4bb0-94dd-945d0219153f"));
const QUuid PhidgetEncoderController::s_controllerType(
    QStringLiteral("a1c7e934-82d5-4f3b-9e60-dc4b5f781023"));

namespace {
void clearDefined(const std::vector<std::shared_ptr<ANodeData>> &values)
{
    for (const std::shared_ptr<ANodeData> &value : values) {
        if (value)
            value->defined = false;
    }
}

// Output `index` of `controller` takes `value` and is defined.
template<class Data, class Value>
void setOutput(const INodeController &controller, int index, Value value)
{
    if (Data *output = controller.outputData<Data>(index)) {
        output->value = value;
        output->defined = true;
    }
}

// The poll of the input and encoder nodes: output 0, until an event has filled it, takes what
// `read` returns from the designated channel, through `convert`. Not attached yet fails
// quietly; a later tick polls again.
template<class Data, class Channel, class Reading, class Convert>
void pollFirstOutput(const PhidgetChannelController &controller,
    PhidgetReturnCode(CCONV *read)(Channel, Reading *), Convert convert)
{
    const Data *output = controller.outputData<Data>(0);
    if (!output || output->defined)
        return;
    const PhidgetChannelData *designated = controller.channel();
    const PhidgetDevice *device = controller.resolveDevice();
    if (!designated || !device || !device->runtime())
        return;
    const auto handle = reinterpret_cast<Channel>(
        device->runtime()->channelHandle(designated->channelID, controller.channelType()));
    Reading reading = 0;
    if (handle && read(handle, &reading) == EPHIDGET_OK)
        setOutput<Data>(controller, 0, convert(reading));
}

// The low 32 bits of Phidget22's 64-bit position.
qint32 low32(int64_t position)
{
    return qint32(quint32(quint64(position)));
}
} // namespace

// ---- PhidgetChannelController ----

PhidgetChannelController::PhidgetChannelController(
    const QUuid &controllerType, Node &node, LM_PhidgetChannelType type)
    : IShowNodeController(controllerType, node, false)
    , m_type(type)
{ }

const PropertySlotDescriptors &PhidgetChannelController::propertySlots() const
{
    static const std::map<LM_PhidgetChannelType, PropertySlotDescriptors> descriptors = [] {
        std::map<LM_PhidgetChannelType, PropertySlotDescriptors> byType;
        for (LM_PhidgetChannelType type : {LM_DIGITAL_INPUT, LM_DIGITAL_OUTPUT, LM_ENCODER}) {
            byType[type] = {{"Channel", kPhidgetChannelDataTypeId, 0,
                std::make_shared<PhidgetChannelData>(type), 0}};
        }
        return byType;
    }();
    return descriptors.at(m_type);
}

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

// ---- PhidgetInputController ----

const TriggerDescriptors &PhidgetInputController::outputTriggers() const
{
    static const TriggerDescriptors descriptors = {{0, "Changed"}};
    return descriptors;
}

bool PhidgetInputController::emitsTriggers() const
{
    return true;
}

// ---- PhidgetDigitalInputController ----

PhidgetDigitalInputController::PhidgetDigitalInputController(
    const QUuid &controllerType, Node &node)
    : PhidgetInputController(controllerType, node, LM_DIGITAL_INPUT)
{ }

const OutputSlotDescriptors &PhidgetDigitalInputController::outputSlots() const
{
    static const OutputSlotDescriptors descriptors = {{"Value", kBoolDataTypeId, 0}};
    return descriptors;
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
    setOutput<BoolData>(*this, 0, state);
    fireOutputTrigger(0);
}

void PhidgetDigitalInputController::updateOutputs()
{
    pollFirstOutput<BoolData>(
        *this, PhidgetDigitalInput_getState, [](int state) { return state != 0; });
}

// ---- PhidgetEncoderController ----

PhidgetEncoderController::PhidgetEncoderController(const QUuid &controllerType, Node &node)
    : PhidgetInputController(controllerType, node, LM_ENCODER)
{ }

const OutputSlotDescriptors &PhidgetEncoderController::outputSlots() const
{
    static const OutputSlotDescriptors descriptors
        = {{"Position", kIntDataTypeId, 0}, {"Position Change", kIntDataTypeId, 1}};
    return descriptors;
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
    setOutput<IntData>(*this, 0, low32(position));
    setOutput<IntData>(*this, 1, positionChange);
    fireOutputTrigger(0);
}

void PhidgetEncoderController::updateOutputs()
{
    pollFirstOutput<IntData>(*this, PhidgetEncoder_getPosition, low32);
}

// ---- PhidgetDigitalOutputController ----

PhidgetDigitalOutputController::PhidgetDigitalOutputController(
    const QUuid &controllerType, Node &node)
    : PhidgetChannelController(controllerType, node, LM_DIGITAL_OUTPUT)
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
