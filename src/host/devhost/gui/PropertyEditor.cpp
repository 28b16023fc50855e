#include "PropertyEditor.h"

#include "INodeController.h"
#include "INodeDataWidget.h"
#include "NodeEdits.h"
#include "NodeGraph.h"
#include "NodeTypeRegistry.h"
#include "Show.h"
#include "ShowEditor.h"
#include "TouchZones.h"
#include "ValueText.h"
#include "ValueWidget.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

PropertyEditor::PropertyEditor(ShowEditor &editor, NodeEdits &edits, Show &show, QWidget *parent)
    : QWidget(parent)
    , m_editor(editor)
    , m_edits(edits)
    , m_show(&show)
    , m_layout(new QFormLayout(this))
    , m_title(new QLabel(this))
{
    m_title->setObjectName(QStringLiteral("propertyTitle"));
    m_layout->addRow(m_title);
    m_layout->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    // A change made in another instance's tab shows here too.
    connect(&editor, &ShowEditor::propertyChanged, this,
        [this](int nodeId, int index) { reload(m_rows, NodeValues::Properties, nodeId, index); });
    connect(&edits, &NodeEdits::inputChanged, this,
        [this](int nodeId, int index) { reload(m_inputs, NodeValues::Inputs, nodeId, index); });
    connect(&edits, &NodeEdits::nodeRenamed, this, [this](int nodeId) {
        if (nodeId == m_nodeId && !m_loading)
            showNode(nodeId);
    });
    showNode(-1);
}

INodeDataWidget *PropertyEditor::dataWidget(int index) const
{
    return index >= 0 && size_t(index) < m_rows.size() ? m_rows[size_t(index)].widget.data()
                                                       : nullptr;
}

INodeDataWidget *PropertyEditor::inputWidget(int index) const
{
    return index >= 0 && size_t(index) < m_inputs.size() ? m_inputs[size_t(index)].widget.data()
                                                         : nullptr;
}

void PropertyEditor::clear()
{
    while (m_layout->rowCount() > 1)
        m_layout->removeRow(1);
    m_rows.clear();
    m_inputs.clear();
}

void PropertyEditor::showNode(int nodeId)
{
    clear();
    Node *node = m_show ? m_show->graph().node(nodeId) : nullptr;
    INodeController *controller = node ? node->controller() : nullptr;
    m_nodeId = controller ? nodeId : -1;
    if (!controller) {
        m_title->setText(tr("Select a node to see its properties."));
        return;
    }
    m_title->setText(tr("<b>Node %1</b> %2").arg(nodeId).arg(node->name().toHtmlEscaped()));
    m_name = new QLineEdit(node->name(), this);
    m_name->setObjectName(QStringLiteral("nodeName"));
    connect(m_name, &QLineEdit::editingFinished, this, &PropertyEditor::onNameEdited);
    m_layout->addRow(tr("Name"), m_name);
    addInputs(*controller);
    if (!controller->propertySlots().empty())
        m_layout->addRow(new QLabel(tr("<b>Properties</b>"), this));
    const NodeTypeRegistry &registry = m_show->graph().registry();
    const PropertySlotDescriptors &slotList = controller->propertySlots();
    for (size_t i = 0; i < slotList.size(); ++i) {
        const int index = int(i);
        const QString label = QString::fromStdString(slotList[i].name);
        const ANodeData *value = i < controller->propertyValues().size()
            ? controller->propertyValues()[i].get()
            : nullptr;
        const DataWidgetFactory factory = registry.dataWidgetFactories.value(slotList[i].type);
        INodeDataWidget *widget = value && factory ? factory(this) : nullptr;
        const Row row = addValueRow(label, QStringLiteral("property%1").arg(index), widget, value,
            ValueText::describe(value), [this, index](const ANodeData &data) {
                onEdited(NodeValues::Properties, index, data);
            });
        m_rows.push_back(row);
    }
    if (slotList.empty())
        m_layout->addRow(new QLabel(tr("This node has no properties."), this));
}

PropertyEditor::Row PropertyEditor::addValueRow(const QString &label, const QString &name,
    INodeDataWidget *widget, const ANodeData *value, const QString &text,
    const std::function<void(const ANodeData &)> &onEdited)
{
    Row row;
    if (widget && value) {
        row.widget = widget;
        widget->setObjectName(name);
        m_loading = true;
        widget->setNodeData(*value);
        m_loading = false;
        // Direct: the widget emits on the GUI thread, with a reference that lives only as
        // long as the emission. Values while dragging are applied too, so that the show
        // follows the drag.
        connect(widget, &INodeDataWidget::valueChanged, this,
            [onEdited](const ANodeData &data, bool) { onEdited(data); });
        m_layout->addRow(label, widget);
        return row;
    }
    delete widget;
    row.text = new QLineEdit(text, this);
    row.text->setObjectName(name);
    row.text->setReadOnly(true);
    m_layout->addRow(label, row.text);
    return row;
}

void PropertyEditor::addInputs(INodeController &controller)
{
    const InputSlotDescriptors &slotList = controller.inputSlots();
    if (slotList.empty())
        return;
    m_layout->addRow(new QLabel(tr("<b>Inputs</b>"), this));
    const NodeGraph &graph = m_show->graph();
    const NodeTypeRegistry &registry = graph.registry();
    for (size_t i = 0; i < slotList.size(); ++i) {
        const int index = int(i);
        const QString label = QString::fromStdString(slotList[i].name);
        const ANodeData *value
            = i < controller.inputValues().size() ? controller.inputValues()[i].get() : nullptr;
        const auto feed = graph.connectionToInput(m_nodeId, index);
        INodeDataWidget *widget = nullptr;
        if (value && !feed) {
            const DataWidgetFactory factory = registry.dataWidgetFactories.value(slotList[i].type);
            widget = factory ? factory(this) : ValueWidget::create(slotList[i].type, this);
        }
        QString text = ValueText::describe(value);
        if (feed) {
            const Node *from = graph.node(feed->fromNode);
            text = tr("from node %1 %2: %3")
                       .arg(feed->fromNode)
                       .arg(from ? QStringLiteral("\"%1\"").arg(from->name()) : QString(),
                           ValueText::describe(
                               TouchZones::effectiveInput(*graph.node(m_nodeId), index)));
        }
        const Row row = addValueRow(label, QStringLiteral("input%1").arg(index), widget, value,
            text,
            [this, index](const ANodeData &data) { onEdited(NodeValues::Inputs, index, data); });
        if (!value && !feed)
            row.text->setToolTip(tr("The show gives this input no value."));
        m_inputs.push_back(row);
    }
}

void PropertyEditor::onNameEdited()
{
    if (m_loading || m_nodeId < 0 || !m_name)
        return;
    const int nodeId = m_nodeId;
    const QString name = m_name->text().trimmed();
    m_loading = true;
    m_edits.renameNode(nodeId, name);
    m_loading = false;
    const Node *node = m_show ? m_show->graph().node(nodeId) : nullptr;
    if (node) {
        m_title->setText(tr("<b>Node %1</b> %2").arg(nodeId).arg(node->name().toHtmlEscaped()));
    }
}

void PropertyEditor::onEdited(NodeValues list, int index, const ANodeData &value)
{
    if (m_loading || m_nodeId < 0)
        return;
    // Editors in the other tabs are given the new value, this one not: its widget is
    // still inside its own announcement.
    m_loading = true;
    if (list == NodeValues::Inputs)
        m_edits.setInput(m_nodeId, index, value);
    else
        m_editor.setProperty(m_nodeId, index, value);
    m_loading = false;
}

void PropertyEditor::reload(std::vector<Row> &rows, NodeValues list, int nodeId, int index)
{
    if (m_loading || nodeId != m_nodeId || index < 0 || size_t(index) >= rows.size())
        return;
    const NodeValue shown = nodeValue(m_show, nodeId, list, index);
    if (!shown.controller)
        return;
    Row &row = rows[size_t(index)];
    if (row.widget && shown.value) {
        m_loading = true;
        row.widget->setNodeData(*shown.value);
        m_loading = false;
    } else if (row.text && list == NodeValues::Properties) {
        // An input's text says what feeds it: it stays.
        row.text->setText(ValueText::describe(shown.value));
    }
}
