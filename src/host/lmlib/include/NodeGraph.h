#pragma once

#include "lmlib_global.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>
#include <QUuid>

#include <map>
#include <memory>
#include <optional>

class INodeController;
class NodeGraph;
class Show;
struct NodeTypeRegistry;

// A node of the show graph: an id, a controller type and the controller that the
// type's factory made (owned).
class LMLIB_EXPORT Node
{
public:
    Node(NodeGraph &graph, int id, const QUuid &controllerType);
    ~Node();
    Node(const Node &) = delete;
    Node &operator=(const Node &) = delete;

    int id() const { return m_id; }
    QUuid controllerType() const { return m_controllerType; }
    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    NodeGraph &graph() const { return m_graph; }
    INodeController *controller() const { return m_controller.get(); }
    void setController(std::unique_ptr<INodeController> controller);

private:
    NodeGraph &m_graph;
    int m_id;
    QUuid m_controllerType;
    QString m_name;
    std::unique_ptr<INodeController> m_controller;
};

// Output `output` of node `fromNode` feeds input `input` of node `toNode`.
struct ValueConnection
{
    int fromNode = -1;
    int output = -1;
    int toNode = -1;
    int input = -1;
    bool operator==(const ValueConnection &o) const
    {
        return fromNode == o.fromNode && output == o.output && toNode == o.toNode
            && input == o.input;
    }
};

// Output trigger `outputTrigger` of `fromNode` fires input trigger `inputTrigger` of `toNode`.
struct TriggerConnection
{
    int fromNode = -1;
    int outputTrigger = -1;
    int toNode = -1;
    int inputTrigger = -1;
    bool operator==(const TriggerConnection &o) const
    {
        return fromNode == o.fromNode && outputTrigger == o.outputTrigger && toNode == o.toNode
            && inputTrigger == o.inputTrigger;
    }
};

// The nodes, their connections and the evaluation tick of one show copy.
// Connections survive the removal of their nodes; users of the graph skip them.
class LMLIB_EXPORT NodeGraph : public QObject
{
    Q_OBJECT
public:
    // Deepest chain of triggers firing triggers; a deeper one is cut (a loop).
    static constexpr int kMaxTriggerDepth = 64;

    NodeGraph(const NodeTypeRegistry &registry, Show *show, QObject *parent = nullptr);
    ~NodeGraph() override;

    const NodeTypeRegistry &registry() const { return m_registry; }
    Show *show() const { return m_show; }

    quint64 tick() const { return m_tick; }
    void advanceTick() { ++m_tick; }

    // Makes the node and its controller through the registry's factory; id < 0 picks
    // the next free id. Null (and *error) for an unknown type or a taken id.
    Node *createNode(const QUuid &controllerType, int id = -1, QString *error = nullptr);
    bool removeNode(int id);
    Node *node(int id) const;
    // Ascending id.
    QList<Node *> nodes() const;

    // Checks that both nodes exist and the slots are in range; an input is fed by
    // at most one connection.
    bool connectValue(const ValueConnection &connection, QString *error = nullptr);
    bool connectTrigger(const TriggerConnection &connection, QString *error = nullptr);
    bool disconnectValue(const ValueConnection &connection);
    bool disconnectTrigger(const TriggerConnection &connection);
    const QList<ValueConnection> &valueConnections() const { return m_valueConnections; }
    const QList<TriggerConnection> &triggerConnections() const { return m_triggerConnections; }

    std::optional<ValueConnection> connectionToInput(int nodeId, int input) const;
    QList<TriggerConnection> triggerConnectionsFrom(int nodeId, int outputTrigger) const;

    // Advances the tick and lets every controller refresh its outputs once.
    void evaluate();

    // Bookkeeping of INodeController::fireOutputTrigger: announces the firing and
    // guards against trigger loops. beginTriggerFiring() false means: too deep, skip.
    bool beginTriggerFiring(const Node &source, int outputTrigger);
    void endTriggerFiring();

signals:
    void outputTriggerFired(int nodeId, int outputTrigger);
    void evaluated(quint64 tick);

private:
    INodeController *controllerOf(int nodeId, QString *error) const;

    const NodeTypeRegistry &m_registry;
    Show *m_show;
    quint64 m_tick = 0;
    int m_triggerDepth = 0;
    std::map<int, std::unique_ptr<Node>> m_nodes;
    QList<ValueConnection> m_valueConnections;
    QList<TriggerConnection> m_triggerConnections;
    // Lookups that keep connecting a show in step with its size: (toNode, input) of
    // every value connection, and every trigger connection.
    QHash<QPair<int, int>, ValueConnection> m_inputFeeds;
    QSet<QPair<QPair<int, int>, QPair<int, int>>> m_triggerKeys;
};
