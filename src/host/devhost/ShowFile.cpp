#include "ShowFile.h"

#include "Device.h"
#include "DeviceFactoryInterface.h"
#include "HostRegistry.h"
#include "INodeController.h"
#include "NodeGraph.h"
#include "Show.h"

#include <QDomNamedNodeMap>
#include <QFile>
#include <QSet>
#include <QXmlStreamReader>
#include <XmlWriter.h>

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace {

const QString rootTag = QStringLiteral("lumoraShow");
const QString instancesTag = QStringLiteral("instances");
const QString devicesTag = QStringLiteral("devices");
const QString nodesTag = QStringLiteral("nodes");
const QString connectionsTag = QStringLiteral("connections");
const QString producerTag = QStringLiteral("producer");
const QString mediaServerTag = QStringLiteral("mediaServer");
const QString outputTag = QStringLiteral("output");
const QString nodeTag = QStringLiteral("node");
const QString valueConnectionTag = QStringLiteral("valueConnection");
const QString triggerConnectionTag = QStringLiteral("triggerConnection");

QString where(const QDomNode &node)
{
    return QStringLiteral("line %1").arg(node.lineNumber());
}

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

// A required (or defaulted) integer attribute; false when present but not a number.
bool readInt(const QDomElement &e, const QString &name, int *value, QString *error,
    std::optional<int> fallback = std::nullopt)
{
    if (!e.hasAttribute(name)) {
        if (fallback) {
            *value = *fallback;
            return true;
        }
        return fail(error,
            QStringLiteral("<%1> at %2 needs the attribute \"%3\"")
                .arg(e.tagName(), where(e), name));
    }
    bool ok = false;
    *value = e.attribute(name).trimmed().toInt(&ok);
    if (!ok) {
        return fail(error,
            QStringLiteral("<%1> at %2: \"%3\" is not an integer: \"%4\"")
                .arg(e.tagName(), where(e), name, e.attribute(name)));
    }
    return true;
}

bool readFlag(const QDomElement &e, const QString &name)
{
    const QString text = e.attribute(name).trimmed();
    return text == QLatin1String("1")
        || text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

QList<QDomElement> childElements(const QDomElement &parent)
{
    QList<QDomElement> list;
    for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        list.append(e);
    return list;
}

// Elements and attributes only (attributes in name order, so that saving is stable).
void writeElement(XmlWriter &writer, const QDomElement &element)
{
    writer.startElement(element.tagName());
    const QDomNamedNodeMap attributes = element.attributes();
    QList<QPair<QString, QString>> sorted;
    for (int i = 0; i < attributes.count(); ++i) {
        const QDomAttr a = attributes.item(i).toAttr();
        sorted.append({a.name(), a.value()});
    }
    std::sort(sorted.begin(), sorted.end());
    for (const auto &a : std::as_const(sorted))
        writer.attribute(a.first, a.second);
    for (const QDomElement &child : childElements(element))
        writeElement(writer, child);
    writer.endElement(element.tagName());
}

// The first element nested deeper than maxDepth, or nullopt. Stops at the first
// syntax error too: reporting that is the DOM parser's job.
std::optional<std::pair<qint64, qint64>> tooDeep(const QByteArray &xml, int maxDepth)
{
    QXmlStreamReader reader(xml);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth > maxDepth)
            return std::make_pair(reader.lineNumber(), reader.columnNumber());
        if (token == QXmlStreamReader::EndElement)
            --depth;
    }
    return std::nullopt;
}

// The writer puts tabs and line breaks into attribute values as they are, and a reader
// turns those into spaces (attribute value normalisation). As character references
// they come back unchanged. Outside values the writer's own line breaks stay; inside a
// tag a double quote only ever delimits a value, as the writer escapes it in values.
QString referenceWhitespaceInValues(const QString &text)
{
    QString result;
    result.reserve(text.size());
    bool inTag = false;
    bool inValue = false;
    for (const QChar c : text) {
        if (inValue) {
            if (c == QLatin1Char('\t'))
                result += QLatin1String("&#9;");
            else if (c == QLatin1Char('\n'))
                result += QLatin1String("&#10;");
            else if (c == QLatin1Char('\r'))
                result += QLatin1String("&#13;");
            else
                result += c;
            if (c == QLatin1Char('"'))
                inValue = false;
            continue;
        }
        result += c;
        if (c == QLatin1Char('<'))
            inTag = true;
        else if (c == QLatin1Char('>'))
            inTag = false;
        else if (inTag && c == QLatin1Char('"'))
            inValue = true;
    }
    return result;
}

const QStringList valueConnectionAttributes {QStringLiteral("fromNode"), QStringLiteral("output"),
    QStringLiteral("toNode"), QStringLiteral("input")};
const QStringList triggerConnectionAttributes {QStringLiteral("fromNode"),
    QStringLiteral("outputTrigger"), QStringLiteral("toNode"), QStringLiteral("inputTrigger")};

// The four numbers of a connection, in the order of its attributes.
std::array<int *, 4> fieldsOf(ValueConnection &c)
{
    return {&c.fromNode, &c.output, &c.toNode, &c.input};
}

std::array<int *, 4> fieldsOf(TriggerConnection &c)
{
    return {&c.fromNode, &c.outputTrigger, &c.toNode, &c.inputTrigger};
}

template<class Connection>
bool readConnection(
    const QDomElement &e, const QStringList &attributes, Connection *c, QString *error)
{
    const std::array<int *, 4> fields = fieldsOf(*c);
    for (size_t i = 0; i < fields.size(); ++i) {
        if (!readInt(e, attributes[int(i)], fields[i], error))
            return false;
    }
    return true;
}

// Connections of removed nodes stay in the graph but are not stored.
template<class Connection>
void writeConnections(XmlWriter &writer, const NodeGraph &graph, const QString &tag,
    const QStringList &attributes, QList<Connection> connections)
{
    for (Connection &c : connections) {
        if (!graph.node(c.fromNode) || !graph.node(c.toNode))
            continue;
        writer.startElement(tag);
        const std::array<int *, 4> fields = fieldsOf(c);
        for (size_t i = 0; i < fields.size(); ++i)
            writer.attribute(attributes[int(i)], *fields[i]);
        writer.endElement(tag);
    }
}

} // namespace

bool ShowFile::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("cannot read show %1: %2").arg(path, file.errorString()));
    if (file.size() > MaxFileSize) {
        return fail(error,
            QStringLiteral("show %1 is larger than %2 bytes")
                .arg(path, QString::number(MaxFileSize)));
    }
    QString reason;
    if (!parse(file.readAll(), &reason))
        return fail(error, QStringLiteral("show %1: %2").arg(path, reason));
    return true;
}

bool ShowFile::parse(const QByteArray &xml, QString *error)
{
    m_instances.clear();
    m_otherSections.clear();
    m_devices = m_nodes = m_connections = QDomElement();

    if (const auto at = tooDeep(xml, MaxDepth)) {
        return fail(error,
            QStringLiteral("elements nested deeper than %1 levels at line %2, column %3")
                .arg(MaxDepth)
                .arg(at->first)
                .arg(at->second));
    }
    QString message;
    int line = 0;
    int column = 0;
    if (!m_document.setContent(xml, &message, &line, &column)) {
        return fail(error,
            QStringLiteral("not well-formed XML at line %1, column %2: %3")
                .arg(line)
                .arg(column)
                .arg(message));
    }
    const QDomElement root = m_document.documentElement();
    if (root.tagName() != rootTag) {
        return fail(error,
            QStringLiteral("the root element is <%1>, not <%2>").arg(root.tagName(), rootTag));
    }
    int version = FormatVersion;
    if (!readInt(root, QStringLiteral("version"), &version, error, FormatVersion))
        return false;
    if (version < 1 || version > FormatVersion) {
        return fail(error,
            QStringLiteral("show format version %1 is not supported (this host reads %2)")
                .arg(version)
                .arg(FormatVersion));
    }
    m_showName = root.attribute(QStringLiteral("name"));

    QDomElement instances;
    for (const QDomElement &section : childElements(root)) {
        QDomElement *slot = nullptr;
        if (section.tagName() == instancesTag)
            slot = &instances;
        else if (section.tagName() == devicesTag)
            slot = &m_devices;
        else if (section.tagName() == nodesTag)
            slot = &m_nodes;
        else if (section.tagName() == connectionsTag)
            slot = &m_connections;
        if (!slot) {
            m_otherSections.append(section);
            continue;
        }
        if (!slot->isNull()) {
            return fail(error,
                QStringLiteral("<%1> given twice (%2)").arg(section.tagName(), where(section)));
        }
        *slot = section;
    }
    return parseInstances(instances, error);
}

bool ShowFile::parseInstances(const QDomElement &section, QString *error)
{
    QSet<int> ids;
    QSet<QString> names;
    int masters = 0;
    bool haveProducer = false;
    for (const QDomElement &e : childElements(section)) {
        InstanceConfig inst;
        if (e.tagName() == producerTag) {
            if (haveProducer)
                return fail(error, QStringLiteral("a second <producer> at %1").arg(where(e)));
            haveProducer = true;
            inst.name = e.attribute(QStringLiteral("name"), QStringLiteral("Producer"));
            // The producer's machine, where boards attached to it live.
            inst.address = e.attribute(QStringLiteral("address"));
        } else if (e.tagName() == mediaServerTag) {
            inst.isProducer = false;
            if (!readInt(e, QStringLiteral("id"), &inst.mediaServerId, error))
                return false;
            if (inst.mediaServerId < 1 || ids.contains(inst.mediaServerId)) {
                return fail(error,
                    QStringLiteral("<mediaServer> at %1: id %2 is not a new number of 1 or more")
                        .arg(where(e))
                        .arg(inst.mediaServerId));
            }
            ids.insert(inst.mediaServerId);
            inst.name = e.attribute(
                QStringLiteral("name"), QStringLiteral("Media server %1").arg(inst.mediaServerId));
            inst.address = e.attribute(QStringLiteral("address"));
            QSet<int> outputIds;
            for (const QDomElement &o : childElements(e)) {
                if (o.tagName() != outputTag) {
                    return fail(error,
                        QStringLiteral("unexpected <%1> in <mediaServer> at %2")
                            .arg(o.tagName(), where(o)));
                }
                InstanceConfig::Output output;
                if (!readInt(o, QStringLiteral("id"), &output.id, error)
                    || !readInt(o, QStringLiteral("kind"), &output.kind, error, 0)) {
                    return false;
                }
                if (outputIds.contains(output.id)) {
                    return fail(error,
                        QStringLiteral("output id %1 given twice at %2")
                            .arg(output.id)
                            .arg(where(o)));
                }
                outputIds.insert(output.id);
                output.name = o.attribute(QStringLiteral("name"));
                inst.outputs.append(output);
            }
        } else {
            return fail(error,
                QStringLiteral("unexpected <%1> in <instances> at %2").arg(e.tagName(), where(e)));
        }
        if (names.contains(inst.name))
            return fail(error, QStringLiteral("instance name \"%1\" given twice").arg(inst.name));
        names.insert(inst.name);
        inst.master = readFlag(e, QStringLiteral("master"));
        masters += inst.master ? 1 : 0;
        m_instances.append(inst);
    }
    if (masters > 1)
        return fail(error, QStringLiteral("more than one instance is the master"));
    if (!haveProducer) {
        InstanceConfig producer;
        producer.name = QStringLiteral("Producer");
        if (names.contains(producer.name))
            return fail(error,
                QStringLiteral("instance name \"Producer\" is taken, but there is no <producer>"));
        m_instances.prepend(producer);
    }
    // The producer comes first; without an explicit master it is the master.
    std::stable_partition(m_instances.begin(), m_instances.end(),
        [](const InstanceConfig &s) { return s.isProducer; });
    if (masters == 0)
        m_instances.first().master = true;
    return true;
}

bool ShowFile::populate(
    Show &show, const InstanceConfig &instance, const HostRegistry &registry, QString *error) const
{
    show.setInstanceName(instance.name);
    show.setAppMode(instance.isProducer ? Show::ProducerMode : Show::MediaServerMode);
    show.setLocalMediaServerId(instance.mediaServerId);
    show.setMaster(instance.master);
    for (const InstanceConfig &inst : m_instances) {
        if (inst.isProducer)
            continue;
        auto screen = std::make_unique<Screen>(inst.mediaServerId, inst.name, inst.address);
        if (!inst.outputs.isEmpty()) {
            auto set = std::make_unique<ScreenSet>();
            for (const InstanceConfig::Output &o : inst.outputs)
                set->addScreenOutput(ScreenOutput(o.id, o.name, o.kind));
            screen->setScreenSet(std::move(set));
        }
        show.addMediaServer(std::move(screen));
    }
    return createDevices(show, registry, error) && createNodes(show, error)
        && createConnections(show, error);
}

bool ShowFile::createDevices(Show &show, const HostRegistry &registry, QString *error) const
{
    const QString deviceTag = Device::elementName(1);
    for (const QDomElement &e : childElements(m_devices)) {
        if (e.tagName() != deviceTag) {
            return fail(error,
                QStringLiteral("unexpected <%1> in <devices> at %2").arg(e.tagName(), where(e)));
        }
        const QString type = e.attribute(QStringLiteral("type"));
        DeviceFactoryInterface *factory = registry.deviceFactory(type);
        if (!factory) {
            return fail(error,
                QStringLiteral("device type \"%1\" at %2: no loaded plug-in provides it")
                    .arg(type, where(e)));
        }
        Device *device = factory->createDevice(show.isMaster());
        if (!device)
            return fail(error, QStringLiteral("the %1 plug-in made no device").arg(type));
        if (device->typeName() != type) {
            const QString actual = device->typeName();
            delete device;
            return fail(error,
                QStringLiteral("the %1 plug-in made a device of type \"%2\"").arg(type, actual));
        }
        device->readDom(e);
        QString reason;
        if (!show.addDevice(device, &reason))
            return fail(error, QStringLiteral("%1 (%2)").arg(reason, where(e)));
    }
    return true;
}

bool ShowFile::createNodes(Show &show, QString *error) const
{
    NodeGraph &graph = show.graph();
    for (const QDomElement &e : childElements(m_nodes)) {
        if (e.tagName() != nodeTag)
            return fail(error,
                QStringLiteral("unexpected <%1> in <nodes> at %2").arg(e.tagName(), where(e)));
        int id = -1;
        if (!readInt(e, QStringLiteral("id"), &id, error, -1))
            return false;
        if (e.hasAttribute(QStringLiteral("id")) && id < 1)
            return fail(error, QStringLiteral("node id %1 at %2 is below 1").arg(id).arg(where(e)));
        const QString typeText = e.attribute(QStringLiteral("type")).trimmed();
        const QUuid type = QUuid::fromString(typeText);
        if (type.isNull()) {
            return fail(error,
                QStringLiteral("node at %1: controller type \"%2\" is not a UUID")
                    .arg(where(e), typeText));
        }
        QString reason;
        Node *node = graph.createNode(type, id, &reason);
        if (!node) {
            return fail(error,
                QStringLiteral("node at %1: %2 (no loaded plug-in provides it)")
                    .arg(where(e), reason));
        }
        node->setName(e.attribute(QStringLiteral("name")));
        INodeController *controller = node->controller();
        controller->readValues(e);
        // readValues announces only the properties the element gives. The others keep
        // their defaults but are announced as well, as they will be once saved, so that
        // the loaded node is the one a reload of the saved show gives.
        const int given = e.elementsByTagName(QStringLiteral("propertyValue")).size();
        for (int i = given; size_t(i) < controller->propertySlots().size(); ++i)
            controller->onPropertyChanged(i);
    }
    return true;
}

bool ShowFile::createConnections(Show &show, QString *error) const
{
    NodeGraph &graph = show.graph();
    for (const QDomElement &e : childElements(m_connections)) {
        QString reason;
        bool ok = false;
        if (e.tagName() == valueConnectionTag) {
            ValueConnection c;
            if (!readConnection(e, valueConnectionAttributes, &c, error))
                return false;
            ok = graph.connectValue(c, &reason);
        } else if (e.tagName() == triggerConnectionTag) {
            TriggerConnection c;
            if (!readConnection(e, triggerConnectionAttributes, &c, error))
                return false;
            ok = graph.connectTrigger(c, &reason);
        } else {
            return fail(error,
                QStringLiteral("unexpected <%1> in <connections> at %2")
                    .arg(e.tagName(), where(e)));
        }
        if (!ok)
            return fail(error, QStringLiteral("connection at %1: %2").arg(where(e), reason));
    }
    return true;
}

QString ShowFile::save(const Show &show, const QString &showName,
    const QList<InstanceConfig> &instances, const QList<QDomElement> &otherSections)
{
    QString text;
    {
        XmlWriter writer(&text);
        writer.setAutoLineBreaks(true);
        writer.startElement(rootTag);
        writer.attribute(QStringLiteral("version"), FormatVersion);
        if (!showName.isEmpty())
            writer.attribute(QStringLiteral("name"), showName);

        writer.startElement(instancesTag);
        for (const InstanceConfig &inst : instances) {
            writer.startElement(inst.isProducer ? producerTag : mediaServerTag);
            if (!inst.isProducer)
                writer.attribute(QStringLiteral("id"), inst.mediaServerId);
            writer.attribute(QStringLiteral("name"), inst.name);
            if (!inst.isProducer || !inst.address.isEmpty())
                writer.attribute(QStringLiteral("address"), inst.address);
            writer.attribute(QStringLiteral("master"), inst.master ? 1 : 0);
            for (const InstanceConfig::Output &o : inst.outputs) {
                writer.startElement(outputTag);
                writer.attribute(QStringLiteral("id"), o.id);
                writer.attribute(QStringLiteral("name"), o.name);
                writer.attribute(QStringLiteral("kind"), o.kind);
                writer.endElement(outputTag);
            }
            writer.endElement(inst.isProducer ? producerTag : mediaServerTag);
        }
        writer.endElement(instancesTag);

        writer.startElement(devicesTag);
        for (Device *device : show.allDevices())
            device->writeXml(writer);
        writer.endElement(devicesTag);

        writer.startElement(nodesTag);
        for (const Node *node : show.graph().nodes()) {
            writer.startElement(nodeTag);
            writer.attribute(QStringLiteral("id"), node->id());
            writer.attribute(
                QStringLiteral("type"), node->controllerType().toString(QUuid::WithoutBraces));
            if (!node->name().isEmpty())
                writer.attribute(QStringLiteral("name"), node->name());
            if (node->controller())
                node->controller()->writeValues(writer);
            writer.endElement(nodeTag);
        }
        writer.endElement(nodesTag);

        writer.startElement(connectionsTag);
        writeConnections(writer, show.graph(), valueConnectionTag, valueConnectionAttributes,
            show.graph().valueConnections());
        writeConnections(writer, show.graph(), triggerConnectionTag, triggerConnectionAttributes,
            show.graph().triggerConnections());
        writer.endElement(connectionsTag);

        for (const QDomElement &section : otherSections)
            writeElement(writer, section);
        writer.endElement(rootTag);
    }
    return referenceWhitespaceInValues(text);
}
