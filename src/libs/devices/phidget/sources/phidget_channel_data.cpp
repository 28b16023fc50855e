#include "phidget_channel_data.h"

#include <XmlWriter.h>

#include <QDomElement>

PhidgetChannelData::PhidgetChannelData(int32_t type, int32_t id)
    : ANodeData(kPhidgetChannelDataTypeId)
    , channelID(id)
    , channelType(type)
{ }

void PhidgetChannelData::serialize(XmlWriter &writer) const
{
    device.serialize(writer);
    writer.attribute(QStringLiteral("channelID"), int(channelID));
    writer.attribute(QStringLiteral("channelType"), int(channelType));
}

void PhidgetChannelData::deserialize(const QDomElement &element)
{
    device.deserialize(element);
    channelID = element.attribute(QStringLiteral("channelID"), QStringLiteral("-1")).toInt();
    channelType = element.attribute(QStringLiteral("channelType"), QStringLiteral("0")).toInt();
}

void PhidgetChannelData::setValue(const ANodeData &other)
{
    const auto *source = dynamic_cast<const PhidgetChannelData *>(&other);
    if (!source)
        return;
    device.setValue(source->device);
    channelID = source->channelID;
    channelType = source->channelType;
}

ANodeData *PhidgetChannelData::clone() const
{
    return new PhidgetChannelData(*this);
}
