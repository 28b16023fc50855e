#pragma once

#include "Show.h"
#include <QPointer>
#include <QWidget>

#include <vector>

class ANodeData;
class INodeDataWidget;
class QFormLayout;
class QLabel;
class QLineEdit;
class ShowEditor;

// The properties of one node: for each, the editor that the registry's data widget
// factory makes for the property's kind, or a read-only text for kinds without one.
// Changes made there go to the node through the ShowEditor. GUI thread only.
class PropertyEditor : public QWidget
{
    Q_OBJECT
public:
    PropertyEditor(ShowEditor &editor, Show &show, QWidget *parent = nullptr);

    // -1 shows no node.
    void showNode(int nodeId);
    int nodeId() const { return m_nodeId; }
    // The editor widget of property `index`, null for a read-only one.
    INodeDataWidget *dataWidget(int index) const;

private:
    struct Row
    {
        QPointer<INodeDataWidget> widget;
        QPointer<QLineEdit> text;
    };
    void clear();
    void reload(int nodeId, int index);
    void onValueChanged(int index, const ANodeData &value);

    ShowEditor &m_editor;
    QPointer<Show> m_show;
    QFormLayout *m_layout;
    QLabel *m_title;
    int m_nodeId = -1;
    std::vector<Row> m_rows;
    // Set while this editor hands a value to a widget: widgets that announce the value
    // they are given (valueChanged from setNodeData) do not send it back to the node.
    bool m_loading = false;
};
