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
    bool changed = false;
    for (const std::unique_ptr<Show> &copy : m_editor.host().instances()) {
        Node *node = copy->graph().node(nodeId);
        INodeController *controller = node ? node->controller() : nullptr;
        if (!controller || index < 0 || size_t(index) >= controller->inputValues().size())
            continue;
        ANodeData *input = controller->inputValues()[size_t(index)].get();
        // setValue copies from a value of its own kind only.
        if (!input || input->dataType != value.dataType)
            continue;
        // As the application's editor hands it over: the node reads it at its next use.
        input->setValue(value);
        input->defined = true;
        changed = true;
    }
    if (!changed) {
        if (LMLog::modeContains(LOG::WARNING)) {
            qCWarning(LMLog::s_lmLogCat).noquote()
                << "[DEVHOST] input" << index << "of node" << nodeId
                << "not changed: no such input value of that kind";
        }
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
