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

// A node's outputs or its output triggers.
template<class Descriptors>
using SlotList = const Descriptors &(INodeController::*)() const;

// One slot of a node on the selected instances, as an expectation names it.
template<class Descriptors>
struct SlotRef
{
    SlotRef(SlotList<Descriptors> list, QLatin1String kind)
        : list(list)
        , kind(kind)
    { }

    SlotList<Descriptors> list;
    // "output", "output trigger": for messages.
    QLatin1String kind;
    QString nodeRef;
    QString slot;
    QString instance;
    Resolved node = std::make_shared<int>(0);

    // Reads the entry's node, its slot (field `slotField`) and its instance.
    bool read(const Fields &f, const QString &slotField, QString *error)
    {
        if (!refField(f, QStringLiteral("node"), 1, &nodeRef, error))
            return false;
        slot = f.value(slotField).trimmed();
        instance = f.value(QStringLiteral("instance")).trimmed();
        return true;
    }

    // What the show lacks for the slot, else empty.
    QString check(const StimulusContext &host) const
    {
        INodeController *c = nullptr;
        const QString problem = nodeCheck(host, nodeRef, instance, node.get(), &c);
        if (!problem.isEmpty())
            return problem;
        if (slotIndex(slot, (c->*list)()) < 0)
            return QStringLiteral("%1 has no %2 \"%3\"").arg(host.nodeText(*node), kind, slot);
        return QString();
    }

    // The slot's index on the node in `show` (-1: none) and the node's controller there;
    // *name becomes the slot's declared name when there is the slot.
    int indexIn(const Show &show, INodeController **controller, QString *name) const
    {
        *controller = controllerIn(show, *node);
        const int index = *controller ? slotIndex(slot, ((*controller)->*list)()) : -1;
        if (index >= 0)
            *name = QString::fromStdString(((*controller)->*list)()[size_t(index)].name);
        return index;
    }
};

bool parseExpectOutput(const Fields &f, ScriptEntry *entry, QString *error)
{
    SlotRef<OutputSlotDescriptors> ref {&INodeController::outputSlots, QLatin1String("output")};
    if (!ref.read(f, QStringLiteral("output"), error))
        return false;
    const QString expected = f.value(QStringLiteral("value")).trimmed();
    const qint64 atMs = entry->atMs;
    entry->check = [ref](const StimulusContext &host) { return ref.check(host); };
    entry->verify = [=](const StimulusContext &host) -> std::optional<QString> {
        QStringList found;
        QString slotName = ref.slot;
        for (const Show *show : host.selectedInstances(ref.instance)) {
            INodeController *c = nullptr;
            const int index = ref.indexIn(*show, &c, &slotName);
            if (index < 0) {
                found.append(QStringLiteral("no such output on %1").arg(show->instanceName()));
                continue;
            }
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
            .arg(secondsText(atMs), host.nodeText(*ref.node), slotName, whereText(ref.instance),
                expected, found.join(QStringLiteral(", ")));
    };
    return true;
}

bool parseExpectFired(const Fields &f, ScriptEntry *entry, QString *error)
{
    SlotRef<TriggerDescriptors> ref {
        &INodeController::outputTriggers, QLatin1String("output trigger")};
    int count = 0;
    if (!ref.read(f, QStringLiteral("trigger"), error)
        || !intAtLeast(f, QStringLiteral("count"), 0, &count, error)) {
        return false;
    }
    const qint64 atMs = entry->atMs;
    entry->check = [ref](const StimulusContext &host) { return ref.check(host); };
    entry->verify = [=](const StimulusContext &host) -> std::optional<QString> {
        const int nodeId = *ref.node;
        QStringList found;
        QString triggerName = ref.slot;
        for (const Show *show : host.selectedInstances(ref.instance)) {
            INodeController *c = nullptr;
            const int fired = host.firedCount(show, nodeId, ref.indexIn(*show, &c, &triggerName));
            if (fired != count) {
                found.append(
                    QStringLiteral("%1 on %2").arg(QString::number(fired), show->instanceName()));
            }
        }
        if (found.isEmpty())
            return std::nullopt;
        return QStringLiteral("by %1, trigger \"%2\" of %3 on %4: expected %5 firing(s), found %6")
            .arg(secondsText(atMs), triggerName, host.nodeText(nodeId), whereText(ref.instance),
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
