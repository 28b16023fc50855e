#include "NodeGraph.h"

#include "INodeController.h"
#include "NextFreeId.h"
#include "NodeTypeRegistry.h"

#include <LMLog.h>

Node::Node(NodeGraph &graph, int id, const QUuid &controllerType)
    : m_graph(graph)
    , m_id(id)
    , m_controllerType(controllerType)
{ }

Node::~Node() = default;

void Node::setController(std::unique_ptr<INodeController> controller)
{
    m_controller = std::move(controller);
}

NodeGraph::NodeGraph(const NodeTypeRegistry &registry, Show *show, QObject *parent)
    : QObject(parent)
    , m_registry(registry)
    , m_show(show)
{ }

NodeGraph::~NodeGraph()
{
    // Controllers go before their nodes are forgotten, so none sees a half-gone graph.
    for (auto &entry : m_nodes)
        entry.second->setController(nullptr);
    m_nodes.clear();
}

Node *NodeGraph::createNode(const QUuid &controllerType, int id, QString *error)
{
    const ControllerFactory factory = m_registry.controllerFactories.value(controllerType);
    if (!factory) {
        if (error) {
            *error = QStringLiteral("unknown controller type %1")
                         .arg(controllerType.toString(QUuid::WithoutBraces));
        }
        return nullptr;
    }
    if (id < 0)
        id = nextFreeId(m_nodes.empty() ? std::nullopt : std::optional(m_nodes.rbegin()->first), 1,
            [this](int candidate) { return m_nodes.count(candidate) > 0; });
    if (id < 0) {
        if (error)
            *error = QStringLiteral("no free node id is left");
        return nullptr;
    }
    if (m_nodes.count(id)) {
        if (error)
            *error = QStringLiteral("node id %1 is already in use").arg(id);
        return nullptr;
    }
    auto node = std::make_unique<Node>(*this, id, controllerType);
    Node *raw = node.get();
    // The controller may look itself up through the graph while it is built.
    m_nodes.emplace(id, std::move(node));
    std::unique_ptr<INodeController> controller(factory(*raw));
    if (!controller) {
        m_nodes.erase(id);
        if (error) {
            *error = QStringLiteral("the factory of %1 made no controller")
                         .arg(controllerType.toString(QUuid::WithoutBraces));
        }
        return nullptr;
    }
    raw->setController(std::move(controller));
    return raw;
}

bool NodeGraph::removeNode(int id)
{
    auto it = m_nodes.find(id);
    if (it == m_nodes.end())
        return false;
    // Take it out first, so that the controller's destructor no longer finds it.
    std::unique_ptr<Node> node = std::move(it->second);
    m_nodes.erase(it);
    node.reset();
    return true;
}

Node *NodeGraph::node(int id) const
{
    auto it = m_nodes.find(id);
    return it == m_nodes.end() ? nullptr : it->second.get();
}

QList<Node *> NodeGraph::nodes() const
{
    QList<Node *> list;
    list.reserve(int(m_nodes.size()));
    for (const auto &entry : m_nodes)
        list.append(entry.second.get());
    return list;
}

namespace {

QPair<QPair<int, int>, QPair<int, int>> keyOf(const TriggerConnection &c)
{
    return {{c.fromNode, c.outputTrigger}, {c.toNode, c.inputTrigger}};
}

bool inRange(int index, size_t count)
{
    return index >= 0 && size_t(index) < count;
}

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

INodeController *NodeGraph::controllerOf(int nodeId, QString *error) const
{
    Node *n = node(nodeId);
    if (!n || !n->controller()) {
        fail(error, QStringLiteral("no node %1").arg(nodeId));
        return nullptr;
    }
    return n->controller();
}

bool NodeGraph::connectValue(const ValueConnection &c, QString *error)
{
    INodeController *from = controllerOf(c.fromNode, error);
    INodeController *to = from ? controllerOf(c.toNode, error) : nullptr;
    if (!to)
        return false;
    if (!inRange(c.output, from->outputSlots().size()))
        return fail(
            error, QStringLiteral("node %1 has no output %2").arg(c.fromNode).arg(c.output));
    if (!inRange(c.input, to->inputSlots().size()))
        return fail(error, QStringLiteral("node %1 has no input %2").arg(c.toNode).arg(c.input));
    if (connectionToInput(c.toNode, c.input))
        return fail(
            error, QStringLiteral("input %1 of node %2 is already fed").arg(c.input).arg(c.toNode));
    m_valueConnections.append(c);
    m_inputFeeds.insert({c.toNode, c.input}, c);
    return true;
}

bool NodeGraph::connectTrigger(const TriggerConnection &c, QString *error)
{
    INodeController *from = controllerOf(c.fromNode, error);
    INodeController *to = from ? controllerOf(c.toNode, error) : nullptr;
    if (!to)
        return false;
    if (!inRange(c.outputTrigger, from->outputTriggers().size())) {
        return fail(error,
            QStringLiteral("node %1 has no output trigger %2")
                .arg(c.fromNode)
                .arg(c.outputTrigger));
    }
    if (!inRange(c.inputTrigger, to->inputTriggers().size())) {
        return fail(error,
            QStringLiteral("node %1 has no input trigger %2").arg(c.toNode).arg(c.inputTrigger));
    }
    if (m_triggerKeys.contains(keyOf(c)))
        return fail(error, QStringLiteral("trigger connection given twice"));
    m_triggerConnections.append(c);
    m_triggerKeys.insert(keyOf(c));
    return true;
}

bool NodeGraph::disconnectValue(const ValueConnection &connection)
{
    if (!m_valueConnections.removeOne(connection))
        return false;
    m_inputFeeds.remove({connection.toNode, connection.input});
    return true;
}

bool NodeGraph::disconnectTrigger(const TriggerConnection &connection)
{
    if (!m_triggerConnections.removeOne(connection))
        return false;
    m_triggerKeys.remove(keyOf(connection));
    return true;
}

std::optional<ValueConnection> NodeGraph::connectionToInput(int nodeId, int input) const
{
    const auto it = m_inputFeeds.constFind({nodeId, input});
    if (it == m_inputFeeds.cend())
        return std::nullopt;
    return *it;
}

QList<TriggerConnection> NodeGraph::triggerConnectionsFrom(int nodeId, int outputTrigger) const
{
    QList<TriggerConnection> list;
    for (const TriggerConnection &c : m_triggerConnections) {
        if (c.fromNode == nodeId && c.outputTrigger == outputTrigger)
            list.append(c);
    }
    return list;
}

void NodeGraph::evaluate()
{
    advanceTick();
    for (const auto &entry : m_nodes) {
        if (INodeController *controller = entry.second->controller())
            controller->updateOutputsForTick(m_tick);
    }
    emit evaluated(m_tick);
}

bool NodeGraph::beginTriggerFiring(const Node &source, int outputTrigger)
{
    if (m_triggerDepth >= kMaxTriggerDepth) {
        if (LMLog::modeContains(LOG::WARNING)) {
            qCWarning(LMLog::s_lmLogCat).noquote()
                << "[LMLIB] trigger loop cut at node" << source.id() << "trigger" << outputTrigger;
        }
        return false;
    }
    ++m_triggerDepth;
    emit outputTriggerFired(source.id(), outputTrigger);
    return true;
}

void NodeGraph::endTriggerFiring()
{
    --m_triggerDepth;
}
