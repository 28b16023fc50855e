#include "NodeEdits.h"

#include "DevHost.h"
#include "INodeController.h"
#include "NodeData.h"
#include "NodeGraph.h"
#include "Show.h"
#include "ShowEditor.h"

#include <LMLog.h>

NodeEdits::NodeEdits(ShowEditor &editor, QObject *parent)
    : QObject(parent)
    , m_editor(editor)
{ }

bool NodeEdits::setInput(int nodeId, int index, const ANodeData &value)
{
    // As the application's editor hands it over: the node reads it at its next use.
    if (!m_editor.setNodeValue(nodeId, NodeValues::Inputs, index, value,
            [](INodeController &, ANodeData &input) { input.defined = true; })) {
        return false;
    }
    m_editor.setModified(true);
    emit inputChanged(nodeId, index);
    return true;
}

bool NodeEdits::renameNode(int nodeId, const QString &name)
{
    bool found = false;
    bool changed = false;
    for (const std::unique_ptr<Show> &copy : m_editor.host().instances()) {
        Node *node = copy->graph().node(nodeId);
        if (!node)
            continue;
        found = true;
        if (node->name() == name)
            continue;
        node->setName(name);
        changed = true;
    }
    if (changed) {
        m_editor.setModified(true);
        emit nodeRenamed(nodeId);
    }
    return found;
}
