#pragma once

#include "phidget_config.h"

#include <NodeData.h>

#include <QUuid>

// The node data type of a Phidget channel designation.
inline const QUuid kPhidgetChannelDataTypeId
    = QUuid::fromString(u"b352438c-fb24-44c7-b98f-94c666c06929");

// Designates one channel of one Phidget device of the show: the device, the channel id
// within its configuration and, in a controller's property, the channel type that the
// controller accepts.
class PhidgetChannelData : public ANodeData
{
public:
    explicit PhidgetChannelData(int32_t type = 0, int32_t id = -1);

    void serialize(XmlWriter &writer) const override;
    void deserialize(const QDomElement &element) override;
    void setValue(const ANodeData &other) override;
    ANodeData *clone() const override;

    DeviceDescriptorData device;
    // -1: no channel.
    int32_t channelID;
    int32_t channelType;
};
