#include "ShowChecks.h"

#include "INodeController.h"
#include "NodeGraph.h"
#include "NodeTypeRegistry.h"
#include "SharedIdentifiers.h"

#include <QSet>

#include <climits>
#include <optional>

namespace {

const QUuid kPhidgetChannelDataTypeId = QUuid::fromString(u"b352438c-fb24-44c7-b98f-94c666c06929");

// What a rule's judgement says about a value that is an integer in the rule's range.
struct Verdict
{
    enum Kind { Fine, Warning, Error } kind = Fine;
    QString text;
};

// What a judgement may consult: the show's instances and the element being checked.
struct Context
{
    const QList<InstanceConfig> &instances;
    const QDomElement &element;
};

using Judge = Verdict (*)(qint64 value, const Context &context);

// One attribute of one element of a device type, read as a decimal integer.
struct Rule
{
    const char *deviceType;
    // "device" or the tag of a child of the device element.
    const char *tag;
    const char *attribute;
    qint64 min;
    qint64 max;
    // The warning when the attribute is missing; null when its default needs no word.
    const char *whenMissing;
    Judge judge;
};

const InstanceConfig *mediaServer(const QList<InstanceConfig> &instances, qint64 id)
{
    for (const InstanceConfig &inst : instances) {
        if (!inst.isProducer && inst.mediaServerId == id)
            return &inst;
    }
    return nullptr;
}

QString serverList(const QList<InstanceConfig> &instances)
{
    QStringList ids;
    for (const InstanceConfig &inst : instances) {
        if (!inst.isProducer)
            ids.append(QString::number(inst.mediaServerId));
    }
    return ids.isEmpty() ? QStringLiteral("it has none")
                         : QStringLiteral("it has ") + ids.join(QStringLiteral(", "));
}

Verdict error(const QString &text)
{
    return {Verdict::Error, text};
}

Verdict warning(const QString &text)
{
    return {Verdict::Warning, text};
}

Verdict pingInterval(qint64 value, const Context &)
{
    if (value >= 1 && value <= 3600)
        return {};
    return warning(QStringLiteral("probes every %1 s (the interval is bounded to 1 to 3600)")
                       .arg(value < 1 ? 1 : 3600));
}

Verdict touchServer(qint64 value, const Context &c)
{
    if (value == -1)
        return warning(
            QStringLiteral("the device watches no media server and ignores every touch"));
    if (!mediaServer(c.instances, value)) {
        return error(QStringLiteral("the show has no media server %1 (%2)")
                         .arg(value)
                         .arg(serverList(c.instances)));
    }
    return {};
}

Verdict touchOutput(qint64 value, const Context &c)
{
    bool ok = false;
    const int server
        = c.element.attribute(QStringLiteral("serverId"), QStringLiteral("-1")).toInt(&ok);
    const InstanceConfig *inst = ok ? mediaServer(c.instances, server) : nullptr;
    if (value == -1 || !inst || inst->outputs.isEmpty())
        return {};
    QStringList ids;
    for (const InstanceConfig::Output &o : inst->outputs) {
        if (o.id == value)
            return {};
        ids.append(QString::number(o.id));
    }
    return error(QStringLiteral("media server %1 has no output %2 (it has %3)")
                     .arg(server)
                     .arg(value)
                     .arg(ids.join(QStringLiteral(", "))));
}

Verdict phidgetSerial(qint64 value, const Context &)
{
    if (value == 0)
        return warning(QStringLiteral("no board has serial number 0 (-1 is any board)"));
    return {};
}

Verdict phidgetServer(qint64 value, const Context &c)
{
    if (value == 0 || mediaServer(c.instances, value))
        return {};
    return error(QStringLiteral("the show has no media server %1 (0 is the producer; %2)")
                     .arg(value)
                     .arg(serverList(c.instances)));
}

Verdict phidgetFlag(qint64 value, const Context &)
{
    if (value == 0 || value == 1)
        return {};
    return warning(QStringLiteral("counts as 1 (true)"));
}

Verdict phidgetChannelType(qint64 value, const Context &)
{
    if (value == 5 || value == 6 || value == 8)
        return {};
    if (value == 0)
        return warning(QStringLiteral("0 (UNKNOWN): the channel is not opened"));
    return error(QStringLiteral("not a channel type (5 DIGITAL_INPUT, 6 DIGITAL_OUTPUT, "
                                "8 ENCODER; 0 UNKNOWN)"));
}

constexpr qint64 kIntMax = INT_MAX;

// The integer attributes of the plug-ins' device elements.
const Rule kRules[] = {
    {"Ping", "device", "intervalSec", INT_MIN, kIntMax, nullptr, pingInterval},
    {"TouchScreen", "device", "serverId", -1, kIntMax,
        "no \"serverId\": -1, the device watches no media server", touchServer},
    {"TouchScreen", "device", "serverOutputId", -1, kIntMax, nullptr, touchOutput},
    {"Phidget", "device", "serialNumber", -1, kIntMax,
        "no \"serialNumber\": read as 0, not -1 (any board)", phidgetSerial},
    {"Phidget", "device", "mediaServerId", 0, kIntMax, nullptr, phidgetServer},
    {"Phidget", "channel", "id", 0, kIntMax, "no \"id\": read as channel 0", nullptr},
    {"Phidget", "channel", "channelNumber", -1, kIntMax, nullptr, nullptr},
    {"Phidget", "channel", "hubPort", -1, kIntMax, nullptr, nullptr},
    {"Phidget", "channel", "isVINTDigital", INT_MIN, kIntMax, nullptr, phidgetFlag},
    {"Phidget", "channel", "type", INT_MIN, kIntMax,
        "no \"type\": 0 (UNKNOWN), the channel is not opened", phidgetChannelType},
};

QString where(const QDomElement &e)
{
    return QStringLiteral("<%1> at line %2").arg(e.tagName()).arg(e.lineNumber());
}

bool checkRules(const QString &type, const QDomElement &e, const QList<InstanceConfig> &instances,
    QStringList *warnings, QString *errorText)
{
    const Context context {instances, e};
    for (const Rule &rule : kRules) {
        if (type != QLatin1String(rule.deviceType) || e.tagName() != QLatin1String(rule.tag))
            continue;
        const QString name = QString::fromLatin1(rule.attribute);
        if (!e.hasAttribute(name)) {
            if (rule.whenMissing)
                warnings->append(
                    QStringLiteral("%1: %2").arg(where(e), QLatin1String(rule.whenMissing)));
            continue;
        }
        const QString text = e.attribute(name);
        bool ok = false;
        const qint64 value = text.toLongLong(&ok);
        if (!ok || value < INT_MIN || value > INT_MAX) {
            *errorText
                = QStringLiteral("%1: \"%2\" is not an integer: \"%3\"").arg(where(e), name, text);
            return false;
        }
        if (value < rule.min || value > rule.max) {
            *errorText = QStringLiteral("%1: \"%2\" %3 is out of range (%4 to %5)")
                             .arg(where(e), name)
                             .arg(value)
                             .arg(rule.min)
                             .arg(rule.max);
            return false;
        }
        const Verdict verdict = rule.judge ? rule.judge(value, context) : Verdict();
        const QString said
            = QStringLiteral("%1: \"%2\" %3: %4").arg(where(e), name).arg(value).arg(verdict.text);
        if (verdict.kind == Verdict::Error) {
            *errorText = said;
            return false;
        }
        if (verdict.kind == Verdict::Warning)
            warnings->append(said);
    }
    return true;
}

} // namespace

namespace ShowChecks {

bool checkDevice(const QDomElement &device, const QList<InstanceConfig> &instances,
    QStringList *warnings, QString *errorText)
{
    const QString type = device.attribute(QStringLiteral("type"));
    if (device.hasAttribute(QStringLiteral("id"))) {
        const QString text = device.attribute(QStringLiteral("id"));
        bool ok = false;
        const qint64 id = text.toLongLong(&ok);
        if (!ok || id < 0 || id > INT_MAX) {
            *errorText = QStringLiteral("%1: the device number \"id\" is not an integer from 0 to "
                                        "2147483647: \"%2\"")
                             .arg(where(device), text);
            return false;
        }
    }
    if (type == QLatin1String("Ping") && device.attribute(QStringLiteral("host")).isEmpty())
        warnings->append(
            QStringLiteral("%1: no \"host\": the device does not probe").arg(where(device)));
    if (!checkRules(type, device, instances, warnings, errorText))
        return false;
    // Channels with the same id: the later one counts, field by field.
    QHash<QString, int> channelLines;
    for (QDomElement child = device.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        if (!checkRules(type, child, instances, warnings, errorText))
            return false;
        if (type != QLatin1String("Phidget") || child.tagName() != QLatin1String("channel"))
            continue;
        const QString id
            = QString::number(child.attribute(QStringLiteral("id"), QStringLiteral("0")).toInt());
        if (const auto it = channelLines.constFind(id); it != channelLines.cend()) {
            warnings->append(QStringLiteral("%1: channel id %2 given before (line %3); the later "
                                            "values count")
                                 .arg(where(child), id)
                                 .arg(*it));
        }
        channelLines.insert(id, child.lineNumber());
    }
    return true;
}

void checkNodeReferences(
    const QDomElement &node, const DeviceElements &devices, QStringList *warnings)
{
    for (QDomElement list = node.firstChildElement(); !list.isNull();
         list = list.nextSiblingElement()) {
        for (QDomElement value = list.firstChildElement(); !value.isNull();
             value = value.nextSiblingElement()) {
            if (!value.hasAttribute(QStringLiteral("deviceType")))
                continue;
            const QString type = value.attribute(QStringLiteral("deviceType"));
            bool ok = false;
            const int number = value.attribute(QStringLiteral("deviceId")).toInt(&ok);
            if (type.isEmpty() || !ok || number < 0)
                continue;
            const auto device = devices.constFind({type, number});
            if (device == devices.cend()) {
                warnings->append(QStringLiteral("%1 (node at line %2): names device %3 #%4, which "
                                                "the show lacks; the node does nothing")
                                     .arg(where(value))
                                     .arg(node.lineNumber())
                                     .arg(type)
                                     .arg(number));
                continue;
            }
            if (!value.hasAttribute(QStringLiteral("channelID")))
                continue;
            const int channel = value.attribute(QStringLiteral("channelID")).toInt(&ok);
            if (!ok || channel == -1)
                continue;
            QDomElement found;
            for (QDomElement c = device->firstChildElement(QStringLiteral("channel")); !c.isNull();
                 c = c.nextSiblingElement(QStringLiteral("channel"))) {
                if (c.attribute(QStringLiteral("id"), QStringLiteral("0")).toInt() == channel)
                    found = c;
            }
            if (found.isNull()) {
                warnings->append(QStringLiteral("%1 (node at line %2): %3 #%4 (line %5) has no "
                                                "channel %6; the node does nothing")
                                     .arg(where(value))
                                     .arg(node.lineNumber())
                                     .arg(type)
                                     .arg(number)
                                     .arg(device->lineNumber())
                                     .arg(channel));
                continue;
            }
            const int wanted
                = value.attribute(QStringLiteral("channelType"), QStringLiteral("0")).toInt();
            const int actual = found.attribute(QStringLiteral("type"), QStringLiteral("0")).toInt();
            if (wanted != 0 && wanted != actual) {
                warnings->append(QStringLiteral("%1 (node at line %2): channel %3 (line %6) of %4 "
                                                "#%5 has type %7, the node takes %8; the node "
                                                "does nothing")
                                     .arg(where(value))
                                     .arg(node.lineNumber())
                                     .arg(channel)
                                     .arg(type)
                                     .arg(number)
                                     .arg(found.lineNumber())
                                     .arg(actual)
                                     .arg(wanted));
            }
        }
    }
}

bool checkValueTypes(const ValueConnection &c, const NodeGraph &graph, QString *errorText)
{
    const Node *from = graph.node(c.fromNode);
    const Node *to = graph.node(c.toNode);
    if (!from || !to || !from->controller() || !to->controller())
        return true;
    const auto &outputs = from->controller()->outputSlots();
    const auto &inputs = to->controller()->inputSlots();
    if (c.output < 0 || size_t(c.output) >= outputs.size() || c.input < 0
        || size_t(c.input) >= inputs.size()) {
        return true;
    }
    const QUuid source = outputs[size_t(c.output)].type;
    const QUuid target = inputs[size_t(c.input)].type;
    if (source == target || graph.registry().dataConverters.contains({source, target}))
        return true;
    *errorText
        = QStringLiteral("output \"%1\" of node %2 (%3) cannot feed input \"%4\" of node "
                         "%5 (%6): no converter between the types")
              .arg(QString::fromStdString(outputs[size_t(c.output)].name))
              .arg(c.fromNode)
              .arg(dataTypeName(source), QString::fromStdString(inputs[size_t(c.input)].name))
              .arg(c.toNode)
              .arg(dataTypeName(target));
    return false;
}

QString dataTypeName(const QUuid &type)
{
    if (type == kBoolDataTypeId)
        return QStringLiteral("boolean");
    if (type == kIntDataTypeId)
        return QStringLiteral("integer");
    if (type == kVec2DataTypeId)
        return QStringLiteral("2D vector");
    if (type == kDeviceDescriptorDataTypeId)
        return QStringLiteral("device descriptor");
    if (type == kPhidgetChannelDataTypeId)
        return QStringLiteral("Phidget channel");
    return type.toString(QUuid::WithoutBraces);
}

} // namespace ShowChecks
