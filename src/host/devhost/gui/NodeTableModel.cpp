#include "NodeTableModel.h"

#include "INodeController.h"
#include "NodeGraph.h"
#include "NodeTypeRegistry.h"
#include "Show.h"
#include "TouchZones.h"
#include "ValueText.h"

#include <functional>

NodeTableModel::NodeTableModel(Show &show, const NodeTypeRegistry &registry, QObject *parent)
    : QAbstractTableModel(parent)
    , m_show(&show)
{
    // The development host adds and removes no nodes while a show runs.
    for (Node *node : show.graph().nodes()) {
        Row row;
        row.nodeId = node->id();
        row.name = node->name();
        const auto name = registry.controllerNames.constFind(node->controllerType());
        row.type = name != registry.controllerNames.cend()
            ? QString::fromStdString(*name)
            : node->controllerType().toString(QUuid::WithoutBraces);
        if (node->controller())
            row.fired = QList<int>(int(node->controller()->outputTriggers().size()), 0);
        row.inputs = inputsText(row.nodeId);
        row.outputs = outputsText(row.nodeId);
        m_rowOfNode.insert(row.nodeId, int(m_rows.size()));
        m_rows.append(row);
    }
    // Direct: the graph emits on the GUI thread that owns this model.
    connect(&show.graph(), &NodeGraph::evaluated, this, &NodeTableModel::refresh);
    connect(&show.graph(), &NodeGraph::outputTriggerFired, this, &NodeTableModel::onTriggerFired);
}

int NodeTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int NodeTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant NodeTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return QVariant();
    const Row &row = m_rows[index.row()];
    if (role == kNodeIdRole)
        return row.nodeId;
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    switch (index.column()) {
    case IdColumn:
        return row.nodeId;
    case NameColumn:
        return row.name;
    case TypeColumn:
        return row.type;
    case InputsColumn:
        return row.inputs;
    case OutputsColumn:
        return row.outputs;
    case TriggersColumn:
        return triggersText(row);
    default:
        return QVariant();
    }
}

QVariant NodeTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    // In the order of Column.
    static const char *const headers[ColumnCount]
        = {QT_TR_NOOP("Id"), QT_TR_NOOP("Name"), QT_TR_NOOP("Type"), QT_TR_NOOP("Inputs"),
            QT_TR_NOOP("Outputs"), QT_TR_NOOP("Triggers fired")};
    if (section < 0 || section >= ColumnCount)
        return QVariant();
    return tr(headers[section]);
}

int NodeTableModel::rowOfNode(int nodeId) const
{
    return m_rowOfNode.value(nodeId, -1);
}

namespace {

// The node when it has a controller.
Node *controlledNode(const Show *show, int nodeId)
{
    Node *node = show ? show->graph().node(nodeId) : nullptr;
    return node && node->controller() ? node : nullptr;
}

// "name<text(0)>, name<text(1)>, ..." for `count` slots, each named as `descriptors` names
// it, by its index beyond them.
template<class Descriptors>
QString slotsText(
    const Descriptors &descriptors, size_t count, const std::function<QString(size_t)> &text)
{
    QStringList parts;
    for (size_t i = 0; i < count; ++i) {
        const QString name = i < descriptors.size() ? QString::fromStdString(descriptors[i].name)
                                                    : QString::number(i);
        parts.append(name + text(i));
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace

QString NodeTableModel::inputsText(int nodeId) const
{
    Node *node = controlledNode(m_show, nodeId);
    if (!node)
        return QString();
    const INodeController &controller = *node->controller();
    return slotsText(controller.inputSlots(), controller.inputValues().size(), [&](size_t i) {
        // What the node reads: a connected input shows the output that feeds it.
        const bool connected = m_show->graph().connectionToInput(nodeId, int(i)).has_value();
        return QStringLiteral(" %1 %2").arg(connected ? QStringLiteral("←") : QStringLiteral("="),
            ValueText::describe(TouchZones::effectiveInput(*node, int(i))));
    });
}

QString NodeTableModel::outputsText(int nodeId) const
{
    Node *node = controlledNode(m_show, nodeId);
    if (!node)
        return QString();
    const auto &values = node->controller()->outputValues();
    return slotsText(node->controller()->outputSlots(), values.size(),
        [&](size_t i) { return QStringLiteral(" = ") + ValueText::describe(values[i].get()); });
}

QString NodeTableModel::triggersText(const Row &row) const
{
    Node *node = controlledNode(m_show, row.nodeId);
    if (!node)
        return QString();
    return slotsText(node->controller()->outputTriggers(), size_t(row.fired.size()),
        [&](size_t i) { return QStringLiteral(": ") + QString::number(row.fired[int(i)]); });
}

bool NodeTableModel::update(int r, int column, const QString &text)
{
    Row &row = m_rows[r];
    QString &cell = column == NameColumn ? row.name
        : column == InputsColumn         ? row.inputs
                                         : row.outputs;
    if (cell == text)
        return false;
    cell = text;
    const QModelIndex at = index(r, column);
    emit dataChanged(at, at, {Qt::DisplayRole, Qt::ToolTipRole});
    return true;
}

void NodeTableModel::refresh()
{
    for (int r = 0; r < m_rows.size(); ++r) {
        const Node *node = m_show ? m_show->graph().node(m_rows[r].nodeId) : nullptr;
        if (node)
            update(r, NameColumn, node->name());
        update(r, InputsColumn, inputsText(m_rows[r].nodeId));
        update(r, OutputsColumn, outputsText(m_rows[r].nodeId));
    }
}

void NodeTableModel::onTriggerFired(int nodeId, int trigger)
{
    const int r = rowOfNode(nodeId);
    if (r < 0 || trigger < 0 || trigger >= m_rows[r].fired.size())
        return;
    ++m_rows[r].fired[trigger];
    // The values that the trigger announces are shown with it.
    const QString text = outputsText(nodeId);
    m_rows[r].outputs = text;
    emit dataChanged(
        index(r, OutputsColumn), index(r, TriggersColumn), {Qt::DisplayRole, Qt::ToolTipRole});
}
