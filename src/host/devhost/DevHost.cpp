#include "DevHost.h"

#include "Device.h"
#include "INodeController.h"
#include "NodeData.h"
#include "NodeGraph.h"
#include "Show.h"

#include <QDir>
#include <QDomDocument>
#include <QDomNamedNodeMap>
#include <QSaveFile>
#include <XmlWriter.h>

#include <LMLog.h>

DevHost::DevHost(QTextStream &out, QObject *parent)
    : QObject(parent)
    , m_out(out)
{
    HostCallbacks callbacks;
    callbacks.reportMessage = [this](const QString &message) { print(message); };
    callbacks.markShowModified = [] {};
    callbacks.mainWindow = []() -> QWidget * { return nullptr; };
    // Descriptors chosen in editors are resolved in the producer's copy.
    callbacks.currentShow
        = [this]() -> Show * { return m_shows.empty() ? nullptr : m_shows.front().get(); };
    m_registry.setCallbacks(callbacks);
    connect(&m_tickTimer, &QTimer::timeout, this, &DevHost::evaluateAll);
}

DevHost::~DevHost()
{
    stop();
    // Shows (devices, controllers) go before the plug-ins that made them.
    m_shows.clear();
}

void DevHost::print(const QString &line)
{
    m_out << line << Qt::endl;
}

bool DevHost::loadPlugins(const QString &directory, QString *error)
{
    const QDir dir(directory);
    if (!dir.exists() || !dir.isReadable()) {
        if (error)
            *error = QStringLiteral("plug-in directory %1 cannot be read").arg(directory);
        return false;
    }
    const QList<HostRegistry::PluginLoad> loads
        = m_registry.loadPluginDirectory(dir.absolutePath());
    for (const HostRegistry::PluginLoad &load : loads) {
        const QString file = QFileInfo(load.fileName).fileName();
        if (load.ok)
            print(QStringLiteral("plug-in %1: device type \"%2\"").arg(file, load.deviceType));
        else
            print(QStringLiteral("plug-in %1 failed to load: %2").arg(file, load.error));
    }
    return true;
}

bool DevHost::loadShow(const QString &path, QString *error)
{
    return m_file.load(path, error) && buildInstances(error);
}

bool DevHost::loadShowText(const QByteArray &xml, QString *error)
{
    return m_file.parse(xml, error) && buildInstances(error);
}

bool DevHost::buildInstances(QString *error)
{
    stop();
    m_reported.clear();
    m_shows.clear();
    for (const InstanceConfig &inst : m_file.instances()) {
        auto show = std::make_unique<Show>(m_registry.registry());
        if (!m_file.populate(*show, inst, m_registry, error)) {
            m_shows.clear();
            return false;
        }
        m_bus.attach(show.get());
        watch(show.get());
        m_shows.push_back(std::move(show));
    }
    return true;
}

QString DevHost::showText() const
{
    if (m_shows.empty())
        return QString();
    return ShowFile::save(
        *m_shows.front(), m_file.showName(), m_file.instances(), m_file.otherSections());
}

bool DevHost::saveShow(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    file.write(showText().toUtf8());
    if (!file.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

Show *DevHost::instance(const QString &name) const
{
    for (const std::unique_ptr<Show> &show : m_shows) {
        if (show->instanceName() == name)
            return show.get();
    }
    return nullptr;
}

void DevHost::start(int tickMs)
{
    for (const std::unique_ptr<Show> &show : m_shows) {
        for (Device *device : show->allDevices()) {
            if (show->isMaster() || !device->isActiveOnMasterOnly())
                device->init();
        }
    }
    for (const std::unique_ptr<Show> &show : m_shows) {
        if (show->isMaster())
            m_bus.sendFullState(show.get());
    }
    m_tickTimer.start(qMax(1, tickMs));
}

void DevHost::stop()
{
    m_tickTimer.stop();
}

void DevHost::evaluateAll()
{
    for (const std::unique_ptr<Show> &show : m_shows)
        show->graph().evaluate();
}

void DevHost::traceSync()
{
    connect(&m_bus, &SyncBus::messageSent, this,
        [this](
            const QString &instance, const QString &type, int number, const QByteArray &message) {
            print(QStringLiteral("[%1] sync %2 #%3: %4")
                      .arg(instance, type, QString::number(number),
                          QString::fromUtf8(message.left(200))));
        });
}

void DevHost::watch(Show *show)
{
    // What every output shows now, so that only changes are reported.
    QHash<int, QStringList> &reported = m_reported[show];
    for (Node *node : show->graph().nodes()) {
        QStringList texts;
        if (node->controller()) {
            for (const std::shared_ptr<ANodeData> &value : node->controller()->outputValues())
                texts.append(describe(value.get()));
        }
        reported.insert(node->id(), texts);
    }
    NodeGraph *graph = &show->graph();
    connect(graph, &NodeGraph::evaluated, this, [this, show, graph] {
        for (Node *node : graph->nodes())
            reportOutputs(show, node);
    });
    connect(
        graph, &NodeGraph::outputTriggerFired, this, [this, show, graph](int nodeId, int trigger) {
            Node *node = graph->node(nodeId);
            if (!node || !node->controller())
                return;
            // The values the trigger announces come first.
            reportOutputs(show, node);
            const TriggerDescriptors &triggers = node->controller()->outputTriggers();
            const QString name = trigger >= 0 && size_t(trigger) < triggers.size()
                ? QString::fromStdString(triggers[size_t(trigger)].name)
                : QString::number(trigger);
            print(QStringLiteral("[%1] node %2 \"%3\": trigger \"%4\" fired")
                      .arg(show->instanceName(), QString::number(node->id()), node->name(), name));
        });
}

void DevHost::reportOutputs(Show *show, Node *node)
{
    INodeController *controller = node->controller();
    if (!controller)
        return;
    QStringList &reported = m_reported[show][node->id()];
    const OutputSlotDescriptors &slotList = controller->outputSlots();
    const auto &values = controller->outputValues();
    for (size_t i = 0; i < values.size(); ++i) {
        const QString text = describe(values[i].get());
        if (int(i) < reported.size() && reported[int(i)] == text)
            continue;
        while (reported.size() <= int(i))
            reported.append(QString());
        reported[int(i)] = text;
        const QString slotName
            = i < slotList.size() ? QString::fromStdString(slotList[i].name) : QString::number(i);
        print(QStringLiteral("[%1] node %2 \"%3\": output \"%4\" = %5")
                  .arg(show->instanceName(), QString::number(node->id()), node->name(), slotName,
                      text));
    }
}

QString DevHost::describe(const ANodeData *value)
{
    if (!value)
        return QStringLiteral("(none)");
    if (!value->defined)
        return QStringLiteral("(undefined)");
    if (const auto *b = dynamic_cast<const BoolData *>(value))
        return b->value ? QStringLiteral("true") : QStringLiteral("false");
    if (const auto *i = dynamic_cast<const IntData *>(value))
        return QString::number(i->value);
    if (const auto *v = dynamic_cast<const Vec2Data *>(value))
        return QStringLiteral("(%1, %2)").arg(double(v->x)).arg(double(v->y));
    if (const auto *d = dynamic_cast<const DeviceDescriptorData *>(value))
        return QStringLiteral("%1 #%2").arg(d->deviceType, QString::number(d->deviceId));
    // Any other kind: its stored attributes.
    QString xml;
    {
        XmlWriter writer(&xml);
        writer.startElement(QStringLiteral("v"));
        value->serialize(writer);
        writer.endElement(QStringLiteral("v"));
    }
    QDomDocument doc;
    if (!doc.setContent(xml))
        return QStringLiteral("(unreadable)");
    const QDomNamedNodeMap attributes = doc.documentElement().attributes();
    QStringList parts;
    for (int i = 0; i < attributes.count(); ++i) {
        const QDomAttr a = attributes.item(i).toAttr();
        parts.append(QStringLiteral("%1=%2").arg(a.name(), a.value()));
    }
    parts.sort();
    return parts.join(QLatin1Char(' '));
}
