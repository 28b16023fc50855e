#pragma once

#include <QObject>
#include <QString>

class ANodeData;
class ShowEditor;

// Edits of a node's name and of its input values (the user defaults that an input
// reads while nothing is connected to it). Like the property edits of ShowEditor, an
// edit reaches the same node on every instance's copy, marks the show modified and is
// saved with it. GUI thread only, like the shows.
class NodeEdits : public QObject
{
    Q_OBJECT
public:
    explicit NodeEdits(ShowEditor &editor, QObject *parent = nullptr);

    // Copies the value into input `index` of node `nodeId` on every instance and marks it
    // defined. False when the node has no such input, the input holds no value (the show
    // gave it none) or the value is of another kind.
    bool setInput(int nodeId, int index, const ANodeData &value);
    // False for a node the show lacks; an unchanged name changes nothing.
    bool renameNode(int nodeId, const QString &name);

signals:
    void inputChanged(int nodeId, int index);
    void nodeRenamed(int nodeId);

private:
    ShowEditor &m_editor;
};
