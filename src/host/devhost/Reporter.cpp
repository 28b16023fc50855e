#include "Reporter.h"

#include "INodeController.h"
#include "NodeGraph.h"
#include "Show.h"
#include "SyncBus.h"
#include "ValueText.h"

#include <QTextStream>

Reporter::Reporter(QTextStream &out, QObject *parent)
    : QObject(parent)
    , m_out(out)
{ }

void Reporter::print(const QString &line)
{
    m_out << line << Qt::endl;
    emit printed(line);
}

void Reporter::clear()
{
    m_reported.clear();
    m_fired.clear();
}

int Reporter::firedCount(const Show *show, int nodeId, int trigger) const
{
    return m_fired.value(show).value(qMakePair(nodeId, trigger));
}

void Reporter::traceSync(SyncBus &bus)
{
    connect(&bus, &SyncBus::messageSent, this,
        [this](
            const QString &instance, const QString &type, int number, const QByteArray &message) {
            print(QStringLiteral("[%1] sync %2 #%3: %4")
                      .arg(instance, type, QString::number(number),
                          QString::fromUtf8(message.left(200))));
        });
}

void Reporter::watch(Show *show)
{
    // What every output shows now, so that only changes are reported.
    QHash<int, QStringList> &reported = m_reported[show];
    for (Node *node : show->graph().nodes()) {
        QStringList texts;
        if (node->controller()) {
            for (const std::shared_ptr<ANodeData> &value : node->controller()->outputValues())
                texts.append(ValueText::describe(value.get()));
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
            ++m_fired[show][qMakePair(nodeId, trigger)];
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

void Reporter::reportOutputs(Show *show, Node *node)
{
    INodeController *controller = node->controller();
    if (!controller)
        return;
    QStringList &reported = m_reported[show][node->id()];
    const OutputSlotDescriptors &slotList = controller->outputSlots();
    const auto &values = controller->outputValues();
    for (size_t i = 0; i < values.size(); ++i) {
        const QString text = ValueText::describe(values[i].get());
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
