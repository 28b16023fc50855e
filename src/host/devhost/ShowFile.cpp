#include "ShowFile.h"

#include "Device.h"
#include "DeviceFactoryInterface.h"
#include "HostRegistry.h"
#include "INodeController.h"
#include "NodeGraph.h"
#include "Show.h"
#include "ShowChecks.h"

#include <QDomNamedNodeMap>
#include <QFile>
#include <QSet>
#include <QXmlStreamReader>
#include <XmlWriter.h>

#include <LMLog.h>

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace {

const QString kRootTag = QStringLiteral("lumoraShow");
const QString kInstancesTag = QStringLiteral("instances");
const QString kDevicesTag = QStringLiteral("devices");
const QString kNodesTag = QStringLiteral("nodes");
const QString kConnectionsTag = QStringLiteral("connections");
const QString kProducerTag = QStringLiteral("producer");
const QString kMediaServerTag = QStringLiteral("mediaServer");
const QString kOutputTag = QStringLiteral("output");
const QString kNodeTag = QStringLiteral("node");
const QString kValueConnectionTag = QStringLiteral("valueConnection");
const QString kTriggerConnectionTag = QStringLiteral("triggerConnection");

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
// Walks the tree with a stack of its own: the nesting of a kept section never costs
// stack depth here.
void writeElement(XmlWriter &writer, const QDomElement &top)
{
    const auto open = [&writer](const QDomElement &element) {
        writer.startElement(element.tagName());
        const QDomNamedNodeMap attributes = element.attributes();
        QList<QPair<QString, QString>> sorted;
        sorted.reserve(attributes.count());
        for (int i = 0; i < attributes.count(); ++i) {
            const QDomAttr a = attributes.item(i).toAttr();
            sorted.append({a.name(), a.value()});
        }
        std::sort(sorted.begin(), sorted.end());
        for (const auto &a : std::as_const(sorted))
            writer.attribute(a.first, a.second);
    };
    open(top);
    // The open elements below `top`, innermost last.
    QList<QDomElement> path;
    QDomElement next = top.firstChildElement();
    while (true) {
        if (!next.isNull()) {
            open(next);
            path.append(next);
            next = next.firstChildElement();
            continue;
        }
        if (path.isEmpty())
            break;
        const QDomElement done = path.takeLast();
        writer.endElement(done.tagName());
        next = done.nextSiblingElement();
    }
    writer.endElement(top.tagName());
}

QString positionText(qint64 line, qint64 column)
{
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

// The first byte that is not UTF-8, with its line and column (in characters).
std::optional<QString> notUtf8(const QByteArray &xml)
{
    qint64 line = 1;
    qint64 column = 1;
    const auto *data = reinterpret_cast<const unsigned char *>(xml.constData());
    const qsizetype size = xml.size();
    for (qsizetype i = 0; i < size;) {
        const unsigned char c = data[i];
        int length = 0;
        char32_t min = 0;
        if (c < 0x80) {
            length = 1;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2;
            min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            min = 0x10000;
        }
        bool ok = length > 0 && i + length <= size;
        char32_t code = length == 1 ? c : (c & (0x7F >> length));
        for (int k = 1; ok && k < length; ++k) {
            ok = (data[i + k] & 0xC0) == 0x80;
            code = (code << 6) | (data[i + k] & 0x3F);
        }
        if (ok && length > 1)
            ok = code >= min && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        if (!ok) {
            return QStringLiteral("not UTF-8 at %1: byte 0x%2")
                .arg(positionText(line, column),
                    QString::number(c, 16).rightJustified(2, QLatin1Char('0')));
        }
        if (c == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
        i += length;
    }
    return std::nullopt;
}

// The XML reader checks each attribute of a start tag against all the earlier ones, so
// its time grows with the square of their number. The tags are counted here first, on
// the bytes: inside a start tag, a "=" outside quotes begins an attribute's value.
// Comments, CDATA and processing instructions are skipped; a document type declaration
// ends the count (the reader refuses it before anything after it).
std::optional<QString> tooManyAttributes(const QByteArray &xml, int maxAttributes)
{
    const qsizetype size = xml.size();
    const char *data = xml.constData();
    qint64 line = 1;
    qsizetype lineStart = 0;
    const auto countLines = [&](qsizetype from, qsizetype to) {
        for (qsizetype k = from; k < to; ++k) {
            if (data[k] == '\n') {
                ++line;
                lineStart = k + 1;
            }
        }
    };
    const auto skipTo = [&](qsizetype from, const char *end) {
        const qsizetype at = xml.indexOf(end, from);
        const qsizetype stop = at < 0 ? size : at + qsizetype(qstrlen(end));
        countLines(from, stop);
        return stop;
    };
    for (qsizetype i = 0; i < size;) {
        if (data[i] != '<') {
            countLines(i, i + 1);
            ++i;
            continue;
        }
        const QByteArrayView rest(data + i, size - i);
        if (rest.startsWith("<!--")) {
            i = skipTo(i + 4, "-->");
        } else if (rest.startsWith("<![CDATA[")) {
            i = skipTo(i + 9, "]]>");
        } else if (rest.startsWith("<?")) {
            i = skipTo(i + 2, "?>");
        } else if (rest.startsWith("<!")) {
            return std::nullopt;
        } else {
            const qint64 tagLine = line;
            const qsizetype tagLineStart = lineStart;
            int attributes = 0;
            char quote = 0;
            qsizetype k = i + 1;
            for (; k < size; ++k) {
                const char c = data[k];
                countLines(k, k + 1);
                if (quote) {
                    if (c == quote)
                        quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '=') {
                    if (++attributes > maxAttributes) {
                        const qint64 column
                            = QString::fromUtf8(data + tagLineStart, i - tagLineStart).size() + 1;
                        return QStringLiteral("an element at %1 has more than %2 attributes")
                            .arg(positionText(tagLine, column))
                            .arg(maxAttributes);
                    }
                } else if (c == '>' || c == '<') {
                    break;
                }
            }
            i = k;
        }
    }
    return std::nullopt;
}

// One pass of the reader decides what the document builder may see: well-formed, no
// document type declaration (its entities would multiply the text), nesting at most
// maxDepth. Namespace prefixes are names like any other here, as for the builder.
std::optional<QString> scan(const QByteArray &xml, int maxDepth)
{
    QXmlStreamReader reader(xml);
    reader.setNamespaceProcessing(false);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (++depth > maxDepth) {
                return QStringLiteral("elements nested deeper than %1 levels at %2")
                    .arg(maxDepth)
                    .arg(positionText(reader.lineNumber(), reader.columnNumber()));
            }
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        } else if (token == QXmlStreamReader::DTD) {
            return QStringLiteral("a document type declaration at %1: a show takes none")
                .arg(positionText(reader.lineNumber(), reader.columnNumber()));
        }
    }
    if (reader.hasError()) {
        return QStringLiteral("not well-formed XML at %1: %2")
            .arg(positionText(reader.lineNumber(), reader.columnNumber()), reader.errorString());
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

const QStringList kValueConnectionAttributes {QStringLiteral("fromNode"), QStringLiteral("output"),
    QStringLiteral("toNode"), QStringLiteral("input")};
const QStringList kTriggerConnectionAttributes {QStringLiteral("fromNode"),
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
    if (file.size() > kMaxFileSize) {
        return fail(error,
            QStringLiteral("show %1 is larger than %2 bytes")
                .arg(path, QString::number(kMaxFileSize)));
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
    m_warnings.clear();
    m_mediaServers.reset();
    m_devices = m_nodes = m_connections = QDomElement();

    std::optional<QString> problem = notUtf8(xml);
    if (!problem)
        problem = tooManyAttributes(xml, kMaxAttributes);
    if (!problem)
        problem = scan(xml, kMaxDepth);
    if (problem)
        return fail(error, *problem);
    QString message;
    int line = 0;
    int column = 0;
    if (!m_document.setContent(xml, &message, &line, &column)) {
        return fail(error,
            QStringLiteral("not well-formed XML at %1: %2")
                .arg(positionText(line, column), message));
    }
    const QDomElement root = m_document.documentElement();
    if (root.tagName() != kRootTag) {
        return fail(error,
            QStringLiteral("the root element is <%1>, not <%2>").arg(root.tagName(), kRootTag));
    }
    int version = kFormatVersion;
    if (!readInt(root, QStringLiteral("version"), &version, error, kFormatVersion))
        return false;
    if (version < 1 || version > kFormatVersion) {
        return fail(error,
            QStringLiteral("show format version %1 is not supported (this host reads %2)")
                .arg(version)
                .arg(kFormatVersion));
    }
    m_showName = root.attribute(QStringLiteral("name"));

    QDomElement instances;
    for (const QDomElement &section : childElements(root)) {
        QDomElement *slot = nullptr;
        if (section.tagName() == kInstancesTag)
            slot = &instances;
        else if (section.tagName() == kDevicesTag)
            slot = &m_devices;
        else if (section.tagName() == kNodesTag)
            slot = &m_nodes;
        else if (section.tagName() == kConnectionsTag)
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
    if (!parseInstances(instances, error) || !checkSize(error))
        return false;
    m_mediaServers = std::make_shared<MediaServerTable>();
    for (const InstanceConfig &inst : std::as_const(m_instances)) {
        if (inst.isProducer)
            continue;
        auto screen = std::make_unique<Screen>(inst.mediaServerId, inst.name, inst.address);
        if (!inst.outputs.isEmpty()) {
            auto set = std::make_unique<ScreenSet>();
            for (const InstanceConfig::Output &o : inst.outputs)
                set->addScreenOutput(ScreenOutput(o.id, o.name, o.kind));
            screen->setScreenSet(std::move(set));
        }
        m_mediaServers->add(std::move(screen));
    }
    return true;
}

bool ShowFile::checkSize(QString *error) const
{
    const qsizetype servers = m_instances.size() - 1;
    if (servers > kMaxMediaServers) {
        return fail(error,
            QStringLiteral("%1 media servers: a show takes at most %2")
                .arg(servers)
                .arg(kMaxMediaServers));
    }
    qint64 elements = 0;
    QList<QDomElement> pending {m_devices, m_nodes, m_connections};
    while (!pending.isEmpty()) {
        const QDomElement e = pending.takeLast();
        for (QDomElement child = e.firstChildElement(); !child.isNull();
             child = child.nextSiblingElement()) {
            ++elements;
            pending.append(child);
        }
    }
    if (elements * m_instances.size() > kMaxElementCopies) {
        return fail(error,
            QStringLiteral("%1 elements in <devices>, <nodes> and <connections> on %2 instances "
                           "make %3 copies: a show takes at most %4")
                .arg(elements)
                .arg(m_instances.size())
                .arg(elements * m_instances.size())
                .arg(kMaxElementCopies));
    }
    return true;
}

bool ShowFile::parseInstances(const QDomElement &section, QString *error)
{
    QSet<int> ids;
    // Name, and the first master, to the line that gave it.
    QHash<QString, int> names;
    int masterLine = 0;
    bool haveProducer = false;
    for (const QDomElement &e : childElements(section)) {
        InstanceConfig inst;
        if (e.tagName() == kProducerTag) {
            if (haveProducer)
                return fail(error, QStringLiteral("a second <producer> at %1").arg(where(e)));
            haveProducer = true;
            inst.name = e.attribute(QStringLiteral("name"), QStringLiteral("Producer"));
            // The producer's machine, where boards attached to it live.
            inst.address = e.attribute(QStringLiteral("address"));
        } else if (e.tagName() == kMediaServerTag) {
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
                if (o.tagName() != kOutputTag) {
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
        if (const auto first = names.constFind(inst.name); first != names.cend()) {
            return fail(error,
                QStringLiteral("instance name \"%1\" given twice (lines %2 and %3)")
                    .arg(inst.name)
                    .arg(*first)
                    .arg(e.lineNumber()));
        }
        names.insert(inst.name, e.lineNumber());
        inst.master = readFlag(e, QStringLiteral("master"));
        if (inst.master && masterLine > 0) {
            return fail(error,
                QStringLiteral("more than one instance is the master (lines %1 and %2)")
                    .arg(masterLine)
                    .arg(e.lineNumber()));
        }
        if (inst.master)
            masterLine = e.lineNumber();
        m_instances.append(inst);
    }
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
    if (masterLine == 0)
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
    show.shareMediaServers(m_mediaServers);
    // Every copy meets the same values: the first one reports them.
    const bool first = instance.name == m_instances.first().name;
    QStringList warnings;
    ShowChecks::DeviceElements devices;
    const bool ok = createDevices(show, registry, &devices, &warnings, error)
        && createNodes(show, devices, &warnings, error) && createConnections(show, error);
    if (!ok || !first)
        return ok;
    m_warnings = warnings;
    for (const QString &w : std::as_const(warnings)) {
        const QString text = QStringLiteral("warning: show %1").arg(w);
        if (registry.callbacks().reportMessage)
            registry.callbacks().reportMessage(text);
        else if (LMLog::modeContains(LOG::WARNING))
            qCWarning(LMLog::s_lmLogCat).noquote() << "[DEVHOST]" << text;
    }
    return true;
}
bool ShowFile::createDevices(Show &show, const HostRegistry &registry,
    ShowChecks::DeviceElements *elements, QStringList *warnings, QString *error) const
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
        if (!ShowChecks::checkDevice(e, m_instances, warnings, error)) {
            delete device;
            return false;
        }
        device->readDom(e);
        if (const auto first = elements->constFind({type, device->deviceNumber()});
            first != elements->cend()) {
            const int number = device->deviceNumber();
            delete device;
            return fail(error,
                QStringLiteral("device %1 number %2 at %3 is already in the show (line %4)")
                    .arg(type)
                    .arg(number)
                    .arg(where(e))
                    .arg(first->lineNumber()));
        }
        QString reason;
        if (!show.addDevice(device, &reason))
            return fail(error, QStringLiteral("%1 (%2)").arg(reason, where(e)));
        if (!e.hasAttribute(QStringLiteral("id"))) {
            warnings->append(QStringLiteral("<device> at %1: no \"id\": numbered %2")
                                 .arg(where(e))
                                 .arg(device->deviceNumber()));
        }
        elements->insert({type, device->deviceNumber()}, e);
    }
    return true;
}

bool ShowFile::createNodes(Show &show, const ShowChecks::DeviceElements &devices,
    QStringList *warnings, QString *error) const
{
    NodeGraph &graph = show.graph();
    // Node id to the line that gave it, for the message about a repeated one.
    QHash<int, int> lines;
    for (const QDomElement &e : childElements(m_nodes)) {
        if (e.tagName() != kNodeTag)
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
        if (!graph.registry().controllerFactories.contains(type)) {
            return fail(error,
                QStringLiteral("node at %1: unknown controller type %2 (no loaded plug-in "
                               "provides it)")
                    .arg(where(e), type.toString(QUuid::WithoutBraces)));
        }
        if (const auto first = lines.constFind(id); id >= 1 && first != lines.cend()) {
            return fail(error,
                QStringLiteral("node at %1: node id %2 is already in use (line %3)")
                    .arg(where(e))
                    .arg(id)
                    .arg(*first));
        }
        QString reason;
        Node *node = graph.createNode(type, id, &reason);
        if (!node)
            return fail(error, QStringLiteral("node at %1: %2").arg(where(e), reason));
        lines.insert(node->id(), e.lineNumber());
        if (id < 1) {
            warnings->append(QStringLiteral("<node> at %1: no \"id\": numbered %2")
                                 .arg(where(e))
                                 .arg(node->id()));
        }
        ShowChecks::checkNodeReferences(e, devices, warnings);
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
        if (e.tagName() == kValueConnectionTag) {
            ValueConnection c;
            if (!readConnection(e, kValueConnectionAttributes, &c, error))
                return false;
            ok = graph.connectValue(c, &reason) && ShowChecks::checkValueTypes(c, graph, &reason);
        } else if (e.tagName() == kTriggerConnectionTag) {
            TriggerConnection c;
            if (!readConnection(e, kTriggerConnectionAttributes, &c, error))
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
        writer.startElement(kRootTag);
        writer.attribute(QStringLiteral("version"), kFormatVersion);
        if (!showName.isEmpty())
            writer.attribute(QStringLiteral("name"), showName);

        writer.startElement(kInstancesTag);
        for (const InstanceConfig &inst : instances) {
            writer.startElement(inst.isProducer ? kProducerTag : kMediaServerTag);
            if (!inst.isProducer)
                writer.attribute(QStringLiteral("id"), inst.mediaServerId);
            writer.attribute(QStringLiteral("name"), inst.name);
            if (!inst.isProducer || !inst.address.isEmpty())
                writer.attribute(QStringLiteral("address"), inst.address);
            writer.attribute(QStringLiteral("master"), inst.master ? 1 : 0);
            for (const InstanceConfig::Output &o : inst.outputs) {
                writer.startElement(kOutputTag);
                writer.attribute(QStringLiteral("id"), o.id);
                writer.attribute(QStringLiteral("name"), o.name);
                writer.attribute(QStringLiteral("kind"), o.kind);
                writer.endElement(kOutputTag);
            }
            writer.endElement(inst.isProducer ? kProducerTag : kMediaServerTag);
        }
        writer.endElement(kInstancesTag);

        writer.startElement(kDevicesTag);
        for (Device *device : show.allDevices())
            device->writeXml(writer);
        writer.endElement(kDevicesTag);

        writer.startElement(kNodesTag);
        for (const Node *node : show.graph().nodes()) {
            writer.startElement(kNodeTag);
            writer.attribute(QStringLiteral("id"), node->id());
            writer.attribute(
                QStringLiteral("type"), node->controllerType().toString(QUuid::WithoutBraces));
            if (!node->name().isEmpty())
                writer.attribute(QStringLiteral("name"), node->name());
            if (node->controller())
                node->controller()->writeValues(writer);
            writer.endElement(kNodeTag);
        }
        writer.endElement(kNodesTag);

        writer.startElement(kConnectionsTag);
        writeConnections(writer, show.graph(), kValueConnectionTag, kValueConnectionAttributes,
            show.graph().valueConnections());
        writeConnections(writer, show.graph(), kTriggerConnectionTag, kTriggerConnectionAttributes,
            show.graph().triggerConnections());
        writer.endElement(kConnectionsTag);

        for (const QDomElement &section : otherSections)
            writeElement(writer, section);
        writer.endElement(kRootTag);
    }
    return referenceWhitespaceInValues(text);
}
