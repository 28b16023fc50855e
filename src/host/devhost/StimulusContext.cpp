#include "StimulusContext.h"

#include "NodeGraph.h"
#include "Show.h"
#include "StimulusFields.h"

#include <QStringList>

Show *StimulusContext::instance(const QString &name) const
{
    for (const std::unique_ptr<Show> &show : instances()) {
        if (show->instanceName() == name)
            return show.get();
    }
    return nullptr;
}

Show *StimulusContext::mediaServerInstance(int server) const
{
    for (const std::unique_ptr<Show> &show : instances()) {
        if (show->appMode() == Show::MediaServerMode && show->localMediaServerId() == server)
            return show.get();
    }
    return nullptr;
}

const InstanceConfig *StimulusContext::instanceConfig(const QString &name) const
{
    for (const InstanceConfig &inst : instanceConfigs()) {
        if (inst.name == name)
            return &inst;
    }
    return nullptr;
}

QList<const Show *> StimulusContext::selectedInstances(const QString &instance) const
{
    QList<const Show *> shows;
    for (const std::unique_ptr<Show> &show : instances()) {
        if (instance.isEmpty() || show->instanceName() == instance)
            shows.append(show.get());
    }
    return shows;
}

QString StimulusContext::resolveNode(const QString &ref, int *id) const
{
    QList<QPair<int, QString>> nodes;
    if (!instances().empty()) {
        for (const Node *node : instances().front()->graph().nodes())
            nodes.append({node->id(), node->name()});
    }
    return StimulusFields::resolveRef(ref, nodes, QStringLiteral("node"), id);
}

QString StimulusContext::instanceProblem(const QString &instance) const
{
    if (instance.isEmpty() || this->instance(instance))
        return QString();
    QStringList names;
    for (const std::unique_ptr<Show> &show : instances())
        names.append(show->instanceName());
    return QStringLiteral("the show has no instance \"%1\" (it has %2)")
        .arg(instance, names.join(QStringLiteral(", ")));
}

INodeController *StimulusContext::controllerOf(int nodeId) const
{
    if (instances().empty())
        return nullptr;
    Node *node = instances().front()->graph().node(nodeId);
    return node ? node->controller() : nullptr;
}

QString StimulusContext::nodeText(int nodeId) const
{
    Node *node = instances().empty() ? nullptr : instances().front()->graph().node(nodeId);
    if (!node || node->name().isEmpty())
        return QStringLiteral("node %1").arg(nodeId);
    return QStringLiteral("node %1 \"%2\"").arg(QString::number(nodeId), node->name());
}
