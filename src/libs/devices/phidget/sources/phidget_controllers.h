#pragma once

#include "phidget_config.h"

#include <IShowNodeController.h>

#include <QList>
#include <QMetaObject>
#include <QUuid>

#include <cstdint>

class PhidgetChannelData;
class PhidgetDevice;

// Shared by the three Phidget nodes: the "Channel" property (property 0), whose default names
// the type of channel the node drives, and the device it designates.
class PhidgetChannelController : public IShowNodeController
{
public:
    PhidgetChannelController(const QUuid &controllerType, Node &node, LM_PhidgetChannelType type);

    const PropertySlotDescriptors &propertySlots() const override;

    LM_PhidgetChannelType channelType() const { return m_type; }
    // The "Channel" value when it is defined, else null.
    const PhidgetChannelData *channel() const;
    // The Phidget device that the defined "Channel" value designates in the owner show, or
    // null (also for a device of another kind).
    PhidgetDevice *resolveDevice() const;
    // A defined "Channel" value names this channel id.
    bool matchesChannel(int channelId) const;

    // Queued from the device, on the controller's thread: the designated channel's outputs
    // are undefined until it reports again.
    void onChannelDetached(int channelId);

protected:
    // Drops the connections to the device designated before and clears the outputs; then
    // connects the newly designated device's `signal` to `handler` of this controller and its
    // channel detaches to onChannelDetached. Only the controllers' own file instantiates it.
    template<class Signal, class Controller, class Handler>
    void rebind(Signal signal, Handler Controller::*handler);

private:
    const LM_PhidgetChannelType m_type;
    QList<QMetaObject::Connection> m_connections; // host's thread, like the whole controller
};

// The two nodes that report their channel's changes: "Changed" fires at every reported one.
class PhidgetInputController : public PhidgetChannelController
{
public:
    using PhidgetChannelController::PhidgetChannelController;

    const TriggerDescriptors &outputTriggers() const override;
    bool emitsTriggers() const override;
};

// "Phidget Digital Input": the input's state on "Value", "Changed" at every reported change.
class PhidgetDigitalInputController : public PhidgetInputController
{
public:
    static const QUuid s_controllerType;

    PhidgetDigitalInputController(const QUuid &controllerType, Node &node);

    const OutputSlotDescriptors &outputSlots() const override;
    void onPropertyChanged(int index) override;
    void updateOutputs() override;

    // Queued from the device, on the controller's thread.
    void onDigitalInputChanged(int channelId, bool state);
};

// "Phidget Encoder Input": the low 32 bits of the position on "Position", the last change on
// "Position Change", "Changed" at every reported movement.
class PhidgetEncoderController : public PhidgetInputController
{
public:
    static const QUuid s_controllerType;

    PhidgetEncoderController(const QUuid &controllerType, Node &node);

    const OutputSlotDescriptors &outputSlots() const override;
    void onPropertyChanged(int index) override;
    void updateOutputs() override;

    // Queued from the device, on the controller's thread.
    void onEncoderPositionChanged(int channelId, int64_t position, int positionChange);
};

// "Phidget Digital Output": "Set" writes the boolean of "Value" to the output, from the
// instance that hosts the board only.
class PhidgetDigitalOutputController : public PhidgetChannelController
{
public:
    static const QUuid s_controllerType;

    PhidgetDigitalOutputController(const QUuid &controllerType, Node &node);

    const InputSlotDescriptors &inputSlots() const override;
    const TriggerDescriptors &inputTriggers() const override;
    void readValues(const QDomElement &element) override;
    void onInputTrigger(int index) override;
};
