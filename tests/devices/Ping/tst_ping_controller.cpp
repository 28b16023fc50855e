#include "element_xml.h"
#include "ping_bridge.h"
#include "ping_controller.h"
#include "ping_instances.h"

#include <NodeData.h>
#include <NodeGraph.h>

#include <QDomDocument>
#include <QSignalSpy>
#include <QtTest>

namespace {
// A device of another kind, to designate something that is not a ping device.
class OtherDevice : public Device
{
public:
    OtherDevice()
        : Device(true)
    {
        m_typeName = QStringLiteral("Other");
    }
};

BoolData *reachableOf(const PingController *controller)
{
    return controller->outputData<BoolData>(0);
}
} // namespace

class TestPingController : public QObject
{
    Q_OBJECT

private slots:
    void slotsAndInitialValues();
    void followsDesignatedDevice();
    void rebindingFollowsOnlyTheNewDevice();
    void designationsThatResolveToNothing();
    void updateOutputsBeforeAndAfterFirstResult();
    void nodeCreatedAfterResult();
    void followsResultsFromAnotherInstance();
    void readValuesBindsTheDevice();
    void removedDeviceIsNoLongerFollowed();
};

void TestPingController::slotsAndInitialValues()
{
    PingInstances instances;
    Node *node = instances.producer().graph().createNode(PingController::s_controllerType);
    QVERIFY(node);
    auto *controller = dynamic_cast<PingController *>(node->controller());
    QVERIFY(controller);

    QCOMPARE(controller->outputSlots().at(0).name, std::string("Reachable"));
    QCOMPARE(controller->propertySlots().at(0).name, std::string("Device"));
    QVERIFY(!controller->emitsTriggers());

    QVERIFY(reachableOf(controller));
    QVERIFY(!reachableOf(controller)->defined);
    const auto *descriptor = controller->propertyData<DeviceDescriptorData>(0);
    QVERIFY(descriptor);
    QCOMPARE(descriptor->deviceType, QStringLiteral("Ping"));
    // A clone: editing it leaves the slot's default alone.
    QVERIFY(descriptor != controller->propertySlots().at(0).defaultValue.get());
}

void TestPingController::followsDesignatedDevice()
{
    PingInstances instances;
    PingController *controller = PingInstances::addStatusNode(instances.producer(), 1);
    QVERIFY(controller);
    QCOMPARE(controller->resolveDevice(), instances.producerDevice);

    instances.producerDevice->onReachabilityChangedSync(true);
    QVERIFY(reachableOf(controller)->defined);
    QVERIFY(reachableOf(controller)->value);
    instances.producerDevice->onReachabilityChangedSync(false);
    QVERIFY(reachableOf(controller)->defined);
    QVERIFY(!reachableOf(controller)->value);
}

void TestPingController::rebindingFollowsOnlyTheNewDevice()
{
    PingInstances instances;
    auto *second = new PingDevice(true);
    second->setDeviceNumber(2);
    QVERIFY(instances.producer().addDevice(second));
    PingController *controller = PingInstances::addStatusNode(instances.producer(), 1);
    instances.producerDevice->onReachabilityChangedSync(true);
    QVERIFY(reachableOf(controller)->value);

    controller->propertyData<DeviceDescriptorData>(0)->deviceId = 2;
    controller->onPropertyChanged(0);
    QVERIFY(!reachableOf(controller)->defined); // cleared at once
    QVERIFY(!reachableOf(controller)->value);

    instances.producerDevice->onReachabilityChangedSync(true);
    QVERIFY(!reachableOf(controller)->defined); // the old device no longer reaches it
    second->onReachabilityChangedSync(false);
    QVERIFY(reachableOf(controller)->defined);
    QVERIFY(!reachableOf(controller)->value);
    second->onReachabilityChangedSync(true);
    QVERIFY(reachableOf(controller)->value);

    // Other property indexes change nothing.
    controller->onPropertyChanged(1);
    QVERIFY(reachableOf(controller)->defined);
}

void TestPingController::designationsThatResolveToNothing()
{
    PingInstances instances;
    auto *other = new OtherDevice;
    other->setDeviceNumber(1);
    QVERIFY(instances.producer().addDevice(other));

    PingController *controller = PingInstances::addStatusNode(instances.producer(), 7);
    QVERIFY(!controller->resolveDevice());
    controller->updateOutputs();
    QVERIFY(!reachableOf(controller)->defined);

    controller->propertyData<DeviceDescriptorData>(0)->deviceType = QStringLiteral("Other");
    controller->propertyData<DeviceDescriptorData>(0)->deviceId = 1;
    controller->onPropertyChanged(0);
    QVERIFY(!controller->resolveDevice());
    controller->updateOutputs();
    QVERIFY(!reachableOf(controller)->defined);
    QVERIFY(!reachableOf(controller)->value);
}

void TestPingController::updateOutputsBeforeAndAfterFirstResult()
{
    PingInstances instances;
    PingController *controller = PingInstances::addStatusNode(instances.producer(), 1);
    reachableOf(controller)->value = true; // left alone while there is no result
    controller->updateOutputs();
    QVERIFY(!reachableOf(controller)->defined);
    QVERIFY(reachableOf(controller)->value);

    // The stored state, not only the signal, feeds the output.
    instances.producerDevice->hasStatus = true;
    instances.producerDevice->reachable = false;
    controller->updateOutputs();
    QVERIFY(reachableOf(controller)->defined);
    QVERIFY(!reachableOf(controller)->value);
}

void TestPingController::nodeCreatedAfterResult()
{
    PingInstances instances;
    instances.producerDevice->onReachabilityChangedSync(true);
    PingController *controller = PingInstances::addStatusNode(instances.producer(), 1);
    QVERIFY(!reachableOf(controller)->defined);

    // The graph's evaluation refreshes the output once.
    instances.producer().graph().evaluate();
    QVERIFY(reachableOf(controller)->defined);
    QVERIFY(reachableOf(controller)->value);
}

void TestPingController::followsResultsFromAnotherInstance()
{
    PingInstances instances;
    PingController *remote = PingInstances::addStatusNode(instances.mediaServer(), 1);
    QCOMPARE(remote->resolveDevice(), instances.mediaServerDevice);

    instances.producerDevice->onReachabilityChangedSync(true);
    QTRY_VERIFY(reachableOf(remote)->defined);
    QVERIFY(reachableOf(remote)->value);
    instances.producerDevice->onReachabilityChangedSync(false);
    QTRY_VERIFY(!reachableOf(remote)->value);
}

void TestPingController::readValuesBindsTheDevice()
{
    PingInstances instances;
    PingController *saved = PingInstances::addStatusNode(instances.producer(), 1);
    QDomDocument document;
    QVERIFY(document.setContent(elementXml(
        QStringLiteral("node"), [saved](XmlWriter &writer) { saved->writeValues(writer); })));

    Node *node = instances.producer().graph().createNode(PingController::s_controllerType);
    auto *loaded = dynamic_cast<PingController *>(node->controller());
    QVERIFY(!loaded->resolveDevice());
    loaded->readValues(document.documentElement());
    QCOMPARE(loaded->resolveDevice(), instances.producerDevice);
    instances.producerDevice->onReachabilityChangedSync(true);
    QVERIFY(reachableOf(loaded)->defined);
}

void TestPingController::removedDeviceIsNoLongerFollowed()
{
    PingInstances instances;
    PingController *controller = PingInstances::addStatusNode(instances.producer(), 1);
    instances.producerDevice->onReachabilityChangedSync(true);
    QVERIFY(instances.producer().removeDevice(QStringLiteral("Ping"), 1));
    controller->updateOutputs();
    QVERIFY(!reachableOf(controller)->defined);
    controller->onPropertyChanged(0); // drops the ended connection without a fault
    QVERIFY(!controller->resolveDevice());
}

QTEST_MAIN(TestPingController)
#include "tst_ping_controller.moc"
