#include "NodeTableModel.h"

#include "INodeController.h"
#include "NodeGraph.h"
#include "NodeTypeRegistry.h"
#include "Show.h"
#include "TouchZones.h"
#include "ValueText.h"

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
    switch (section) {
    case IdColumn:
        return tr("Id");
    case NameColumn:
        return tr("Name");
    case TypeColumn:
        return tr("Type");
    case InputsColumn:
        return tr("Inputs");
    case OutputsColumn:
        return tr("Outputs");
    case TriggersColumn:
        return tr("Triggers fired");
    default:
        return QVariant();
    }
}

int NodeTableModel::rowOfNode(int nodeId) const
{
    return m_rowOfNode.value(nodeId, -1);
}

QString NodeTableModel::inputsText(int nodeId) const
{
    Node *node = m_show ? m_show->graph().node(nodeId) : nullptr;
    INodeController *controller = node ? node->controller() : nullptr;
    if (!controller)
        return QString();
    const InputSlotDescriptors &slotList = controller->inputSlots();
    QStringList parts;
    for (size_t i = 0; i < controller->inputValues().size(); ++i) {
        const QString name
            = i < slotList.size() ? QString::fromStdString(slotList[i].name) : QString::number(i);
        // What the node reads: a connected input shows the output that feeds it.
        const bool connected = m_show->graph().connectionToInput(nodeId, int(i)).has_value();
        parts.append(QStringLiteral("%1 %2 %3")
                         .arg(name, connected ? QStringLiteral("←") : QStringLiteral("="),
                             ValueText::describe(TouchZones::effectiveInput(*node, int(i)))));
    }
    return parts.join(QStringLiteral(", "));
}

QString NodeTableModel::outputsText(int nodeId) const
{
    Node *node = m_show ? m_show->graph().node(nodeId) : nullptr;
    INodeController *controller = node ? node->controller() : nullptr;
    if (!controller)
        return QString();
    const OutputSlotDescriptors &slotList = controller->outputSlots();
    const auto &values = controller->outputValues();
    QStringList parts;
    for (size_t i = 0; i < values.size(); ++i) {
        const QString name
            = i < slotList.size() ? QString::fromStdString(slotList[i].name) : QString::number(i);
        parts.append(QStringLiteral("%1 = %2").arg(name, ValueText::describe(values[i].get())));
    }
    return parts.join(QStringLiteral(", "));
}

QString NodeTableModel::triggersText(const Row &row) const
{
    Node *node = m_show ? m_show->graph().node(row.nodeId) : nullptr;
    if (!node || !node->controller())
        return QString();
    const TriggerDescriptors &triggers = node->controller()->outputTriggers();
    QStringList parts;
    for (int i = 0; i < row.fired.size(); ++i) {
        const QString name = size_t(i) < triggers.size()
            ? QString::fromStdString(triggers[size_t(i)].name)
            : QString::number(i);
        parts.append(QStringLiteral("%1: %2").arg(name).arg(row.fired[i]));
    }
    return parts.join(QStringLiteral(", "));
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
