// The expectations on the show's nodes: an output's value, a trigger's firings.
#include "INodeController.h"
#include "NodeGraph.h"
#include "Show.h"
#include "StimulusContext.h"
#include "StimulusFields.h"
#include "StimulusKind.h"
#include "ValueText.h"

#include <memory>

using namespace StimulusFields;

namespace {

// The check resolves a name and the run uses what it found (shared by the entry's copies).
using Resolved = std::shared_ptr<int>;

// A slot given by its index or by its name; -1 when there is none.
template<class Descriptors>
int slotIndex(const QString &ref, const Descriptors &descriptors)
{
    bool isNumber = false;
    const int index = ref.toInt(&isNumber);
    if (isNumber)
        return index >= 0 && size_t(index) < descriptors.size() ? index : -1;
    for (size_t i = 0; i < descriptors.size(); ++i) {
        if (QString::fromStdString(descriptors[i].name) == ref)
            return int(i);
    }
    return -1;
}

INodeController *controllerIn(const Show &show, int nodeId)
{
    Node *node = show.graph().node(nodeId);
    return node ? node->controller() : nullptr;
}

// What an expectation's node reference and instance lack, else empty with the node's id and
// controller.
QString nodeCheck(const StimulusContext &host, const QString &nodeRef, const QString &instance,
    int *nodeId, INodeController **controller)
{
    QString problem = host.resolveNode(nodeRef, nodeId);
    if (!problem.isEmpty())
        return problem;
    problem = host.instanceProblem(instance);
    if (!problem.isEmpty())
        return problem;
    *controller = host.controllerOf(*nodeId);
    if (!*controller)
        return QStringLiteral("the show has no node %1").arg(*nodeId);
    return QString();
}

QString whereText(const QString &instance)
{
    return instance.isEmpty() ? QStringLiteral("every instance") : instance;
}

bool parseExpectOutput(const Fields &f, ScriptEntry *entry, QString *error)
{
    QString nodeRef;
    if (!refField(f, QStringLiteral("node"), 1, &nodeRef, error))
        return false;
    const Resolved node = std::make_shared<int>(0);
    const QString output = f.value(QStringLiteral("output")).trimmed();
    const QString expected = f.value(QStringLiteral("value")).trimmed();
    const QString instance = f.value(QStringLiteral("instance")).trimmed();
    const qint64 atMs = entry->atMs;
    entry->check = [nodeRef, node, output, instance](const StimulusContext &host) -> QString {
        INodeController *c = nullptr;
        const QString problem = nodeCheck(host, nodeRef, instance, node.get(), &c);
        if (!problem.isEmpty())
            return problem;
        if (slotIndex(output, c->outputSlots()) < 0)
            return QStringLiteral("%1 has no output \"%2\"").arg(host.nodeText(*node), output);
        return QString();
    };
    entry->verify = [=](const StimulusContext &host) -> std::optional<QString> {
        const int nodeId = *node;
        QStringList found;
        QString slotName = output;
        for (const Show *show : host.selectedInstances(instance)) {
            INodeController *c = controllerIn(*show, nodeId);
            const int index = c ? slotIndex(output, c->outputSlots()) : -1;
            if (index < 0) {
                found.append(QStringLiteral("no such output on %1").arg(show->instanceName()));
                continue;
            }
            slotName = QString::fromStdString(c->outputSlots()[size_t(index)].name);
            const auto &values = c->outputValues();
            const QString actual = size_t(index) < values.size()
                ? ValueText::describe(values[size_t(index)].get())
                : ValueText::describe(nullptr);
            if (!ValueText::matches(expected, actual))
                found.append(QStringLiteral("%1 on %2").arg(actual, show->instanceName()));
        }
        if (found.isEmpty())
            return std::nullopt;
        return QStringLiteral("at %1, %2 output \"%3\" on %4: expected %5, found %6")
            .arg(secondsText(atMs), host.nodeText(nodeId), slotName, whereText(instance), expected,
                found.join(QStringLiteral(", ")));
    };
    return true;
}

bool parseExpectFired(const Fields &f, ScriptEntry *entry, QString *error)
{
    QString nodeRef;
    int count = 0;
    if (!refField(f, QStringLiteral("node"), 1, &nodeRef, error)
        || !intAtLeast(f, QStringLiteral("count"), 0, &count, error)) {
        return false;
    }
    const Resolved node = std::make_shared<int>(0);
    const QString trigger = f.value(QStringLiteral("trigger")).trimmed();
    const QString instance = f.value(QStringLiteral("instance")).trimmed();
    const qint64 atMs = entry->atMs;
    entry->check = [nodeRef, node, trigger, instance](const StimulusContext &host) -> QString {
        INodeController *c = nullptr;
        const QString problem = nodeCheck(host, nodeRef, instance, node.get(), &c);
        if (!problem.isEmpty())
            return problem;
        if (slotIndex(trigger, c->outputTriggers()) < 0) {
            return QStringLiteral("%1 has no output trigger \"%2\"")
                .arg(host.nodeText(*node), trigger);
        }
        return QString();
    };
    entry->verify = [=](const StimulusContext &host) -> std::optional<QString> {
        const int nodeId = *node;
        QStringList found;
        QString triggerName = trigger;
        for (const Show *show : host.selectedInstances(instance)) {
            INodeController *c = controllerIn(*show, nodeId);
            const int index = c ? slotIndex(trigger, c->outputTriggers()) : -1;
            if (index >= 0)
                triggerName = QString::fromStdString(c->outputTriggers()[size_t(index)].name);
            const int fired = host.firedCount(show, nodeId, index);
            if (fired != count) {
                found.append(
                    QStringLiteral("%1 on %2").arg(QString::number(fired), show->instanceName()));
            }
        }
        if (found.isEmpty())
            return std::nullopt;
        return QStringLiteral("by %1, trigger \"%2\" of %3 on %4: expected %5 firing(s), found %6")
            .arg(secondsText(atMs), triggerName, host.nodeText(nodeId), whereText(instance),
                QString::number(count), found.join(QStringLiteral(", ")));
    };
    return true;
}

} // namespace

QList<StimulusKind> expectationStimulusKinds()
{
    return {
        {QStringLiteral("expectOutput"), true,
            {QStringLiteral("node"), QStringLiteral("output"), QStringLiteral("value")},
            {QStringLiteral("instance")}, parseExpectOutput},
        {QStringLiteral("expectFired"), true,
            {QStringLiteral("node"), QStringLiteral("trigger"), QStringLiteral("count")},
            {QStringLiteral("instance")}, parseExpectFired},
    };
}
