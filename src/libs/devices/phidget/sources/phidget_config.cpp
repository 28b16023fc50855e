#include "phidget_config.h"

#include <XmlWriter.h>

#include <QDomElement>

namespace {
// Base 10; text that is no number reads as 0.
int32_t intAttribute(const QDomElement &element, const QString &name, const QString &fallback)
{
    return element.attribute(name, fallback).toInt();
}
} // namespace

QString phidgetChannelTypeWord(int type)
{
    switch (type) {
    case LM_DIGITAL_INPUT:
        return QStringLiteral("DIGITAL_INPUT");
    case LM_DIGITAL_OUTPUT:
        return QStringLiteral("DIGITAL_OUTPUT");
    case LM_ENCODER:
        return QStringLiteral("ENCODER");
    default:
        return QStringLiteral("UNKNOWN");
    }
}

int32_t LM_PhidgetChannel::readDom(const QDomElement &element)
{
    const int32_t id = intAttribute(element, QStringLiteral("id"), QStringLiteral("0"));
    // The channel number comes first: the default name is made from it.
    channelNumber = intAttribute(element, QStringLiteral("channelNumber"), QStringLiteral("-1"));
    name = element.attribute(
        QStringLiteral("name"), QStringLiteral("Channel ") + QString::number(channelNumber));
    hubPort = intAttribute(element, QStringLiteral("hubPort"), QStringLiteral("-1"));
    isVINTDigital
        = intAttribute(element, QStringLiteral("isVINTDigital"), QStringLiteral("0")) != 0;
    type
        = LM_PhidgetChannelType(intAttribute(element, QStringLiteral("type"), QStringLiteral("0")));
    return id;
}

void LM_PhidgetChannel::writeXml(XmlWriter &writer, int32_t id) const
{
    writer.startElement(QStringLiteral("channel"));
    writer.attribute(QStringLiteral("id"), int(id));
    writer.attribute(QStringLiteral("name"), name);
    writer.attribute(QStringLiteral("channelNumber"), int(channelNumber));
    writer.attribute(QStringLiteral("hubPort"), int(hubPort));
    writer.attribute(QStringLiteral("isVINTDigital"), isVINTDigital ? 1 : 0);
    writer.attribute(QStringLiteral("type"), int(type));
    writer.endElement(QStringLiteral("channel"));
}

bool LM_PhidgetChannel::operator==(const LM_PhidgetChannel &other) const
{
    return name == other.name && hubPort == other.hubPort && channelNumber == other.channelNumber
        && isVINTDigital == other.isVINTDigital && type == other.type;
}

void PhidgetDeviceConfig::readDom(const QDomElement &element)
{
    // Missing device attributes read as 0, not as a new device's -1.
    serialNumber = element.attribute(QStringLiteral("serialNumber")).toInt();
    mediaServerId = element.attribute(QStringLiteral("mediaServerId")).toInt();
    producerServerAddress = element.attribute(QStringLiteral("producerServerAddress"));

    for (QDomNode child = element.firstChild(); !child.isNull(); child = child.nextSibling()) {
        const QDomElement channelElement = child.toElement();
        if (channelElement.isNull() || channelElement.tagName() != QLatin1String("channel"))
            continue;
        LM_PhidgetChannel channel;
        const int32_t id = channel.readDom(channelElement);
        channels.insert(id, channel);
    }
}

void PhidgetDeviceConfig::writeXml(XmlWriter &writer) const
{
    writer.attribute(QStringLiteral("serialNumber"), int(serialNumber));
    writer.attribute(QStringLiteral("mediaServerId"), int(mediaServerId));
    writer.attribute(QStringLiteral("producerServerAddress"), producerServerAddress);
    for (auto it = channels.cbegin(); it != channels.cend(); ++it)
        it.value().writeXml(writer, it.key());
}
