#pragma once

#include "Device.h"
#include "IShowNodeController.h"

#include <QUuid>

// A small device plug-in built from the shared entry, for the framework's tests.
inline const QUuid TestSourceControllerType
    = QUuid::fromString(u"5d0c7f1e-2b7a-4c55-9a10-3f1d2e4c6b01");
inline const QUuid TestSinkControllerType
    = QUuid::fromString(u"5d0c7f1e-2b7a-4c55-9a10-3f1d2e4c6b02");
inline const QUuid kTestDataTypeId = QUuid::fromString(u"5d0c7f1e-2b7a-4c55-9a10-3f1d2e4c6b03");

class TestDevice : public Device
{
    Q_OBJECT
public:
    explicit TestDevice(bool onMaster);

    void readDom(const QDomElement &element) override;
    void writeXml(XmlWriter &writer) override;
    // With the setting "critical", logs a critical message (one per instance that inits).
    void init() override;
    bool isActiveOnMasterOnly() const override { return false; }

    QString setting;
};

// One output "Level" (integer) and one output trigger "Changed", bound to a TestDevice.
class TestSourceController : public IShowNodeController
{
public:
    explicit TestSourceController(Node &node);

    const OutputSlotDescriptors &outputSlots() const override;
    const TriggerDescriptors &outputTriggers() const override;
    const PropertySlotDescriptors &propertySlots() const override;
    bool emitsTriggers() const override { return true; }
};

// One boolean input "Enable" and an input trigger "Go".
class TestSinkController : public IShowNodeController
{
public:
    TestSinkController(const QUuid &type, Node &node);

    const InputSlotDescriptors &inputSlots() const override;
    const TriggerDescriptors &inputTriggers() const override;
};
