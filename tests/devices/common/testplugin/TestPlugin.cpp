#include "TestPlugin.h"

#include "DeviceNode.h"
#include "DevicePluginTraits.h"
#include "NodeData.h"
#include "NodeRegistration.h"

#include <QIODevice>
#include <QLoggingCategory>
#include <XmlWriter.h>

TestDevice::TestDevice(bool onMaster)
    : Device(onMaster)
{
    m_typeName = QStringLiteral("TestDevice");
    m_deviceNumber = 0;
    m_name = QString();
}

void TestDevice::readDom(const QDomElement &element)
{
    readDomBase(element, 1);
    setting = element.attribute(QStringLiteral("setting"));
}

void TestDevice::writeXml(XmlWriter &writer)
{
    XMLNodeBaseBegin(writer, 1);
    writer.attribute(QStringLiteral("setting"), setting);
    XMLNodeBaseEnd(writer);
}

void TestDevice::init()
{
    static const QLoggingCategory category("lm.test");
    if (setting == QLatin1String("critical"))
        qCCritical(category).noquote() << "[TEST] critical from" << name();
}

TestSourceController::TestSourceController(Node &node)
    : IShowNodeController(TestSourceControllerType, node, false)
{ }

const OutputSlotDescriptors &TestSourceController::outputSlots() const
{
    static const OutputSlotDescriptors list {{"Level", kIntDataTypeId, 0}};
    return list;
}

const TriggerDescriptors &TestSourceController::outputTriggers() const
{
    static const TriggerDescriptors triggers {{0, "Changed"}};
    return triggers;
}

const PropertySlotDescriptors &TestSourceController::propertySlots() const
{
    static const PropertySlotDescriptors list = devicePropertySlots(QStringLiteral("TestDevice"));
    return list;
}

TestSinkController::TestSinkController(const QUuid &type, Node &node)
    : IShowNodeController(type, node, false)
{ }

const InputSlotDescriptors &TestSinkController::inputSlots() const
{
    static const InputSlotDescriptors list {
        {"Enable", kBoolDataTypeId, 0, std::make_shared<BoolData>(true), false, 0}};
    return list;
}

const TriggerDescriptors &TestSinkController::inputTriggers() const
{
    static const TriggerDescriptors triggers {{0, "Go"}};
    return triggers;
}

namespace {
void fillRegistry(NodeTypeRegistry &registry, const HostCallbacks &)
{
    registry.dataFactories.insert(kTestDataTypeId, [] { return new IntData(); });
    registry.dataColors.insert(kTestDataTypeId, deviceNodeColor());
    registerController<TestSourceController>(
        registry, TestSourceControllerType, "Test source", "Devices/Test");
    registerController<TestSinkController>(
        registry, TestSinkControllerType, "Test sink", "Devices/Test");
}
} // namespace

const DevicePlugin::Traits &DevicePlugin::traits()
{
    static const Traits traits {QStringLiteral("TestDevice"), QStringLiteral("Test Device"),
        QStringLiteral(":/images/DV_DeviceTestNormal.svg"), newDevice<TestDevice>, fillRegistry};
    return traits;
}
