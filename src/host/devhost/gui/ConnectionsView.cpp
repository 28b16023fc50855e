#include "ConnectionsView.h"

#include "INodeController.h"
#include "NodeGraph.h"

#include <QHeaderView>

namespace {

// `node 2 "Zone" · Top Left`; a slot or node the graph lacks shows its number.
template<class Descriptors>
QString endText(const NodeGraph &graph, int nodeId, int slot,
    const Descriptors &(INodeController::*list)() const)
{
    const Node *node = graph.node(nodeId);
    QString text = node && !node->name().isEmpty()
        ? QStringLiteral("%1 \"%2\"").arg(nodeId).arg(node->name())
        : QString::number(nodeId);
    QString slotName = QString::number(slot);
    if (node && node->controller()) {
        const Descriptors &descriptors = (node->controller()->*list)();
        if (slot >= 0 && size_t(slot) < descriptors.size())
            slotName = QString::fromStdString(descriptors[size_t(slot)].name);
    } else {
        text += QObject::tr(" (missing)");
    }
    return QStringLiteral("%1 · %2").arg(text, slotName);
}

} // namespace

ConnectionsView::ConnectionsView(Show &show, QWidget *parent)
    : QTreeWidget(parent)
    , m_show(&show)
{
    setObjectName(QStringLiteral("connectionsView"));
    setRootIsDecorated(false);
    setAlternatingRowColors(true);
    setHeaderLabels({tr("From"), tr("To"), tr("Kind")});
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(FromColumn, QHeaderView::Stretch);
    header()->setSectionResizeMode(ToColumn, QHeaderView::Stretch);
    header()->setSectionResizeMode(KindColumn, QHeaderView::ResizeToContents);
    reload();
}

void ConnectionsView::reload()
{
    clear();
    if (!m_show)
        return;
    const NodeGraph &graph = m_show->graph();
    const auto add = [this](const QString &from, const QString &to, const QString &kind,
                         int fromNode, int toNode) {
        auto *item = new QTreeWidgetItem(this, {from, to, kind});
        item->setData(FromColumn, kFromNodeRole, fromNode);
        item->setData(FromColumn, kToNodeRole, toNode);
    };
    for (const ValueConnection &c : graph.valueConnections()) {
        add(endText(graph, c.fromNode, c.output, &INodeController::outputSlots),
            endText(graph, c.toNode, c.input, &INodeController::inputSlots), tr("value"),
            c.fromNode, c.toNode);
    }
    for (const TriggerConnection &c : graph.triggerConnections()) {
        add(endText(graph, c.fromNode, c.outputTrigger, &INodeController::outputTriggers),
            endText(graph, c.toNode, c.inputTrigger, &INodeController::inputTriggers),
            tr("trigger"), c.fromNode, c.toNode);
    }
    if (topLevelItemCount() == 0) {
        auto *none = new QTreeWidgetItem(this, {tr("No connections.")});
        none->setDisabled(true);
    }
}

QStringList ConnectionsView::rowTexts() const
{
    QStringList rows;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = topLevelItem(i);
        if (item->isDisabled())
            continue;
        rows.append(QStringLiteral("%1 -> %2 (%3)")
                        .arg(item->text(FromColumn), item->text(ToColumn), item->text(KindColumn)));
    }
    return rows;
}
