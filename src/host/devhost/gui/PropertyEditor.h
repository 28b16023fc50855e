#pragma once

#include "Show.h"
#include <QLineEdit>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

class ANodeData;
class INodeController;
class INodeDataWidget;
class QFormLayout;
class QLabel;

class NodeEdits;
class ShowEditor;
enum class NodeValues;

// One node: its name, its input values and its properties. Each value has the editor that
// the registry's data widget factory makes for its kind, the window's own for the host's
// kinds (bool, integer, 2D vector; inputs), or a read-only text. An input fed by a
// connection shows what feeds it instead. Property changes go to the node through the
// ShowEditor, names and inputs through NodeEdits. GUI thread only.
class PropertyEditor : public QWidget
{
    Q_OBJECT
public:
    PropertyEditor(ShowEditor &editor, NodeEdits &edits, Show &show, QWidget *parent = nullptr);

    // -1 shows no node.
    void showNode(int nodeId);
    int nodeId() const { return m_nodeId; }
    // The editor widget of property `index`, null for a read-only one.
    INodeDataWidget *dataWidget(int index) const;
    // The editor of input `index`, null for a read-only one (no value, or connected).
    INodeDataWidget *inputWidget(int index) const;
    QLineEdit *nameEdit() const { return m_name; }

private:
    struct Row
    {
        QPointer<INodeDataWidget> widget;
        QPointer<QLineEdit> text;
    };
    void clear();
    // The widget when there is one and a value for it, else `text`, read-only.
    Row addValueRow(const QString &label, const QString &name, INodeDataWidget *widget,
        const ANodeData *value, const QString &text,
        const std::function<void(const ANodeData &)> &onEdited);
    void addInputs(INodeController &controller);
    // Entry `index` of the node's `list` shown anew in `rows`, after a change made elsewhere.
    void reload(std::vector<Row> &rows, NodeValues list, int nodeId, int index);
    // A value edited here goes to the node on every instance.
    void onEdited(NodeValues list, int index, const ANodeData &value);
    void onNameEdited();

    ShowEditor &m_editor;
    NodeEdits &m_edits;
    QPointer<Show> m_show;
    QFormLayout *m_layout;
    QLabel *m_title;
    int m_nodeId = -1;
    std::vector<Row> m_rows;
    std::vector<Row> m_inputs;
    QPointer<QLineEdit> m_name;
    // Set while this editor hands a value to a widget: widgets that announce the value
    // they are given (valueChanged from setNodeData) do not send it back to the node.
    bool m_loading = false;
};
