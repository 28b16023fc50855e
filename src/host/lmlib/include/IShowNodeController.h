#pragma once

#include "INodeController.h"
#include "lmlib_global.h"

#include <QUuid>

class Show;

// Base of every controller that a plug-in registers: the controller type and the
// show in which its device descriptors are resolved.
class LMLIB_EXPORT IShowNodeController : public INodeController
{
public:
    // writeSlotDescriptors: also store the slot descriptors with the values
    // (plug-ins pass false).
    IShowNodeController(const QUuid &controllerType, Node &node, bool writeSlotDescriptors);
    ~IShowNodeController() override;

    QUuid controllerType() const { return m_controllerType; }
    Show *getOwnerShow() const;

private:
    QUuid m_controllerType;
};
