#include "NodeData.h"

#include <XmlWriter.h>

namespace {

const QString kValueAttr = QStringLiteral("value");

// 9 significant digits bring every float back unchanged.
QString floatText(float v)
{
    return QString::number(double(v), 'g', 9);
}

float readFloat(const QDomElement &element, const QString &name)
{
    return element.attribute(name, QStringLiteral("0")).toFloat();
}

} // namespace

ANodeData::~ANodeData() = default;

BoolData::BoolData(bool v)
    : NodeDataOf(kBoolDataTypeId)
    , value(v)
{ }

void BoolData::serialize(XmlWriter &writer) const
{
    writer.attribute(kValueAttr, value ? 1 : 0);
}

void BoolData::deserialize(const QDomElement &element)
{
    const QString text = element.attribute(kValueAttr).trimmed();
    value = text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || text.toInt() != 0;
}

IntData::IntData(qint32 v)
    : NodeDataOf(kIntDataTypeId)
    , value(v)
{ }

void IntData::serialize(XmlWriter &writer) const
{
    writer.attribute(kValueAttr, int(value));
}

void IntData::deserialize(const QDomElement &element)
{
    value = element.attribute(kValueAttr, QStringLiteral("0")).toInt();
}

Vec2Data::Vec2Data(float xValue, float yValue)
    : NodeDataOf(kVec2DataTypeId)
    , x(xValue)
    , y(yValue)
{ }

void Vec2Data::serialize(XmlWriter &writer) const
{
    writer.attribute(QStringLiteral("x"), floatText(x));
    writer.attribute(QStringLiteral("y"), floatText(y));
}

void Vec2Data::deserialize(const QDomElement &element)
{
    x = readFloat(element, QStringLiteral("x"));
    y = readFloat(element, QStringLiteral("y"));
}

DeviceDescriptorData::DeviceDescriptorData(const QString &type, int number)
    : NodeDataOf(kDeviceDescriptorDataTypeId)
    , deviceId(number)
    , deviceType(type)
{ }

void DeviceDescriptorData::serialize(XmlWriter &writer) const
{
    writer.attribute(QStringLiteral("deviceType"), deviceType);
    writer.attribute(QStringLiteral("deviceId"), deviceId);
}

void DeviceDescriptorData::deserialize(const QDomElement &element)
{
    deviceType = element.attribute(QStringLiteral("deviceType"));
    bool ok = false;
    deviceId = element.attribute(QStringLiteral("deviceId")).toInt(&ok);
    if (!ok)
        deviceId = -1;
}
