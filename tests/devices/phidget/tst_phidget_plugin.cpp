// The plug-in as the host loads it.
#include <Device.h>
#include <DeviceFactoryInterface.h>
#include <HostRegistry.h>
#include <INodeController.h>
#include <NodeGraph.h>
#include <NodeTypeRegistry.h>

#include <QJsonObject>
#include <QPluginLoader>
#include <QtTest>

#include <memory>

namespace {
const QUuid kChannelData(QStringLiteral("b352438c-fb24-44c7-b98f-94c666c06929"));
const QUuid kOutput(QStringLiteral("00bb5358-1fab-4ba2-bd3c-beb9a3f842de"));
const QUuid kInput(QStringLiteral("20b803c3-5f56-4bb0-94dd-945d0219153f"));
const QUuid kEncoder(QStringLiteral("a1c7e934-82d5-4f3b-9e60-dc4b5f781023"));
const QColor kColor(153, 102, 204, 255);
} // namespace

class TestPhidgetPlugin : public QObject
{
    Q_OBJECT

private slots:
    void factory();
    void registry();
};

void TestPhidgetPlugin::factory()
{
    QPluginLoader loader(QStringLiteral(PHIDGET_PLUGIN_PATH));
    const QJsonObject meta = loader.metaData();
    QCOMPARE(meta.value(QStringLiteral("IID")).toString(), QStringLiteral("PhidgetDevice"));
    QCOMPARE(meta.value(QStringLiteral("className")).toString(), QStringLiteral("PluginInterface"));

    QObject *instance = loader.instance();
    QVERIFY2(instance, qPrintable(loader.errorString()));
    auto *factory = qobject_cast<DeviceFactoryInterface *>(instance);
    QVERIFY(factory);
    QCOMPARE(factory->deviceType(), QStringLiteral("Phidget"));
    QCOMPARE(factory->deviceDisplayName(), QStringLiteral("Phidget"));
    const QIcon icon = factory->deviceIcon();
    QVERIFY(!icon.isNull());
    QVERIFY(!icon.pixmap(26, 26).isNull());
    QCOMPARE(factory->deviceIcon().cacheKey(), icon.cacheKey()); // built once

    std::unique_ptr<Device> device(factory->createDevice(false));
    QVERIFY(device && device->qt_metacast("PhidgetDevice"));
    QCOMPARE(device->typeName(), QStringLiteral("Phidget"));
    QVERIFY(!device->isOnMaster());
    QVERIFY(!device->isActiveOnMasterOnly());
}

void TestPhidgetPlugin::registry()
{
    QPluginLoader loader(QStringLiteral(PHIDGET_PLUGIN_PATH));
    auto *factory = qobject_cast<DeviceFactoryInterface *>(loader.instance());
    QVERIFY(factory);
    const NodeTypeRegistry &r = factory->nodeTypeRegistry(HostCallbacks());
    QCOMPARE(&factory->nodeTypeRegistry(HostCallbacks()), &r);

    QCOMPARE(r.dataFactories.keys(), QList<QUuid>({kChannelData}));
    QCOMPARE(r.dataColors.value(kChannelData), kColor);
    std::unique_ptr<ANodeData> value(r.dataFactories.value(kChannelData)());
    QVERIFY(value && value->dataType == kChannelData && !value->defined);

    const QList<QUuid> controllers {kOutput, kInput, kEncoder};
    const std::vector<std::string> names {
        "Phidget Digital Output", "Phidget Digital Input", "Phidget Encoder Input"};
    QCOMPARE(r.controllerFactories.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(r.controllerNames.value(controllers[i]), names[size_t(i)]);
        QCOMPARE(r.controllerCategories.value(controllers[i]), std::string("Devices/Phidgets"));
        QCOMPARE(r.controllerColors.value(controllers[i]), kColor);
    }

    // Loaded by the host, every node type makes its controller with its "Channel" property.
    HostRegistry host;
    const HostRegistry::PluginLoad load = host.loadPlugin(QStringLiteral(PHIDGET_PLUGIN_PATH));
    QVERIFY2(load.ok, qPrintable(load.error));
    QCOMPARE(load.deviceType, QStringLiteral("Phidget"));
    NodeGraph graph(host.registry(), nullptr);
    for (const QUuid &type : controllers) {
        Node *node = graph.createNode(type);
        QVERIFY(node && node->controller());
        QCOMPARE(node->controller()->propertySlots().size(), size_t(1));
        QCOMPARE(node->controller()->propertyValues().at(0)->dataType, kChannelData);
        QVERIFY(node->controller()->propertyValues().at(0)->defined);
    }
}

QTEST_MAIN(TestPhidgetPlugin)
#include "tst_phidget_plugin.moc"
