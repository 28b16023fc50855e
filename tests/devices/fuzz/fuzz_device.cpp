// libFuzzer target, built once per device plug-in from the plug-in's core library (its
// answers to DevicePluginTraits.h): arbitrary bytes as what a show file or another host
// instance hands to the plug-in. The first byte picks what is read, the rest is the text:
//   0  a device element (readDom);
//   1  a node's values (readValues) for one of the plug-in's controllers, the second byte
//      picking which;
//   2  a value of each of the plug-in's own node data types (deserialize);
//   3  a device element on the first line, then runtime sync messages ("{type}*payload"),
//      one per line, decoded by the device's copy on a media server and on the producer;
//      the second byte says which of them runs the watched output and which is the master.
// What is read must save to a text that reads back to the same text (XML that the saved
// text cannot carry, line breaks in attributes for instance, may change once), and a
// device's full state must read back to the same state.
#include "Device.h"
#include "DevicePluginTraits.h"
#include "HostRegistry.h"
#include "INodeController.h"
#include "NodeData.h"
#include "NodeGraph.h"
#include "Show.h"
#include "SyncBus.h"
#include "element_xml.h"

#include <QApplication>
#include <QDomDocument>
#include <QIODevice>
#include <XmlWriter.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

namespace {

void discardMessage(QtMsgType, const QMessageLogContext &, const QString &)
{ }

[[noreturn]] void fail(const char *what, const QString &detail)
{
    std::fprintf(stderr, "%s\n%s\n", what, qPrintable(detail));
    std::abort();
}

// The host's types and the plug-in's, as the host merges them; the plug-in's own
// controller and data types in a fixed order.
struct Plugin
{
    Show *current = nullptr;
    NodeTypeRegistry registry;
    QList<QUuid> controllers;
    QList<QUuid> dataTypes;

    Plugin()
    {
        HostCallbacks callbacks;
        callbacks.currentShow = [this] { return current; };
        NodeTypeRegistry own;
        DevicePlugin::traits().fillRegistry(own, callbacks);
        HostRegistry host;
        host.merge(own, QStringLiteral("plug-in"));
        registry = host.registry();
        controllers = own.controllerFactories.keys();
        dataTypes = own.dataFactories.keys();
        std::sort(controllers.begin(), controllers.end());
        std::sort(dataTypes.begin(), dataTypes.end());
    }
};

Plugin &plugin()
{
    static Plugin p;
    return p;
}

bool parse(const QString &text, QDomElement *element)
{
    QDomDocument document;
    if (!document.setContent(text))
        return false;
    *element = document.documentElement();
    return !element->isNull();
}

// Reads `text` with `read` and saves with `write` until the saved text stops changing;
// two rounds after the first must give the same text.
void checkStable(const QString &text, const std::function<QString(const QDomElement &)> &readWrite,
    const char *what)
{
    QDomElement element;
    if (!parse(text, &element))
        return;
    QString saved = readWrite(element);
    for (int round = 0; round < 2; ++round) {
        if (!parse(saved, &element))
            fail("a saved text does not parse:", QString::fromLatin1(what) + '\n' + saved);
        const QString again = readWrite(element);
        if (round == 1 && again != saved)
            fail("a saved text reads back differently:",
                QString::fromLatin1(what) + '\n' + saved + '\n' + again);
        saved = again;
    }
}

std::unique_ptr<Show> newShow(bool master, int localServer)
{
    auto show = std::make_unique<Show>(plugin().registry);
    show->setMaster(master);
    show->setAppMode(localServer > 0 ? Show::MediaServerMode : Show::ProducerMode);
    show->setLocalMediaServerId(localServer);
    return show;
}

// A device read from `element` and added to `show`, as a show file loads it.
Device *addDevice(Show &show, const QDomElement &element)
{
    Device *device = DevicePlugin::traits().create(show.isMaster());
    if (!device || device->typeName() != DevicePlugin::traits().type)
        fail("the plug-in made no device of its type", DevicePlugin::traits().type);
    if (!element.isNull())
        device->readDom(element);
    return show.addDevice(device) ? device : nullptr;
}

QString deviceText(Device &device)
{
    QString text;
    {
        XmlWriter writer(&text);
        device.writeXml(writer);
    }
    return text;
}

void fuzzDevice(const QString &text)
{
    checkStable(
        text,
        [](const QDomElement &element) {
            const auto show = newShow(true, 0);
            Device *device = addDevice(*show, element);
            return device ? deviceText(*device) : QString();
        },
        "device");
}

void fuzzNode(unsigned selector, const QString &text)
{
    const QList<QUuid> &types = plugin().controllers;
    if (types.isEmpty())
        return;
    const QUuid type = types[int(selector % unsigned(types.size()))];
    checkStable(
        text,
        [&type](const QDomElement &element) {
            const auto show = newShow(true, 0);
            plugin().current = show.get();
            addDevice(*show, QDomElement()); // number 1, for the "Device" property
            QString error;
            Node *node = show->graph().createNode(type, 1, &error);
            if (!node || !node->controller())
                fail("a controller of the plug-in cannot be made:", error);
            node->controller()->readValues(element);
            node->controller()->updateOutputs();
            const QString saved = elementXml(QStringLiteral("node"),
                [node](XmlWriter &writer) { node->controller()->writeValues(writer); });
            plugin().current = nullptr;
            return saved;
        },
        "node values");
}

void fuzzData(const QString &text)
{
    for (const QUuid &type : plugin().dataTypes) {
        checkStable(
            text,
            [&type](const QDomElement &element) {
                const std::unique_ptr<ANodeData> value(plugin().registry.dataFactories[type]());
                if (!value)
                    fail("a data factory of the plug-in made nothing", type.toString());
                value->deserialize(element);
                const std::unique_ptr<ANodeData> copy(value->clone());
                return elementXml(QStringLiteral("value"),
                    [&copy](XmlWriter &writer) { copy->serialize(writer); });
            },
            "node data");
    }
}

// A copy's full state, read by a fresh copy of the same configuration, gives the same state.
void checkFullState(Device &device, const QDomElement &element)
{
    const QByteArray state = device.encodeSyncRuntimeMessage();
    if (state.isEmpty())
        return;
    const QByteArray header = device.encodeRuntimeMessageHeader() + '*';
    LiveUpdateMessageType type;
    QByteArray payload;
    if (!state.startsWith(header)
        || !SyncBus::splitMessage(state.mid(header.size()), &type, &payload))
        fail("a full state that the bus cannot split:", QString::fromLatin1(state));
    const auto show = newShow(false, 9);
    Device *copy = addDevice(*show, element);
    if (!copy)
        return;
    copy->decodeRuntimeMessage(type, payload);
    if (copy->encodeSyncRuntimeMessage() != state)
        fail("a full state that reads back differently:", QString::fromLatin1(state));
}

void fuzzSync(unsigned flags, const QByteArray &bytes)
{
    const qsizetype lineEnd = bytes.indexOf('\n');
    QDomElement element;
    parse(QString::fromUtf8(bytes.left(lineEnd < 0 ? bytes.size() : lineEnd)), &element);

    // The producer and one media server; either may be the master, and the device's
    // configuration decides which one runs the watched output.
    const bool producerIsMaster = (flags & 1) == 0;
    const auto producer = newShow(producerIsMaster, 0);
    const auto server = newShow(!producerIsMaster, 1 + int((flags >> 1) & 3));
    SyncBus bus;
    bus.attach(producer.get());
    bus.attach(server.get());
    Device *devices[] = {addDevice(*producer, element), addDevice(*server, element)};
    if (!devices[0] || !devices[1])
        return;

    const QList<QByteArray> lines
        = lineEnd < 0 ? QList<QByteArray>() : bytes.mid(lineEnd + 1).split('\n');
    for (const QByteArray &line : lines) {
        LiveUpdateMessageType type;
        QByteArray payload;
        if (!SyncBus::splitMessage(line, &type, &payload))
            continue;
        devices[(flags >> 3) & 1]->decodeRuntimeMessage(type, payload);
        QCoreApplication::sendPostedEvents(); // relays to the other copy
    }
    for (Device *device : devices)
        checkFullState(*device, element);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    qInstallMessageHandler(discardMessage);
    plugin();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));
    switch (data[0] % 4) {
    case 0:
        fuzzDevice(QString::fromUtf8(bytes));
        break;
    case 1:
        fuzzNode(data[1], QString::fromUtf8(bytes));
        break;
    case 2:
        fuzzData(QString::fromUtf8(bytes));
        break;
    default:
        fuzzSync(data[1], bytes);
        break;
    }
    return 0;
}
