#include "IShowNodeController.h"

#include "NodeGraph.h"

IShowNodeController::IShowNodeController(
    const QUuid &controllerType, Node &node, bool writeSlotDescriptors)
    : INodeController(node)
    , m_controllerType(controllerType)
{
    m_writeSlotDescriptors = writeSlotDescriptors;
}

IShowNodeController::~IShowNodeController() = default;

Show *IShowNodeController::getOwnerShow() const
{
    return m_node.graph().show();
}
