#include "SvgIcon.h"
#include <Device.h>
#include <DeviceFactoryInterface.h>
#include <HostRegistry.h>
#include <NodeTypeRegistry.h>

#include <QJsonObject>
#include <QPluginLoader>
#include <QtTest>

#include <memory>

namespace {
const QUuid kPingStatus(QStringLiteral("a7f3c142-8b2e-4d16-9f5a-3e0c7d1a8b4f"));
}

class TestPingPlugin : public QObject
{
    Q_OBJECT

private slots:
    void metadata();
    void factory();
    void registry();
    void loadedByTheHost();
};

void TestPingPlugin::metadata()
{
    QPluginLoader loader(QStringLiteral(PING_PLUGIN_PATH));
    const QJsonObject meta = loader.metaData();
    QCOMPARE(meta.value(QStringLiteral("IID")).toString(), QStringLiteral("PingDevice"));
    QCOMPARE(meta.value(QStringLiteral("className")).toString(), QStringLiteral("PluginInterface"));
}

void TestPingPlugin::factory()
{
    QPluginLoader loader(QStringLiteral(PING_PLUGIN_PATH));
    QObject *instance = loader.instance();
    QVERIFY2(instance, qPrintable(loader.errorString()));
    QVERIFY(instance->qt_metacast("PluginInterface"));
    QVERIFY(instance->qt_metacast("com.KORVANMEDIA.Lumora.Device/1.0"));
    auto *factory = qobject_cast<DeviceFactoryInterface *>(instance);
    QVERIFY(factory);
    QCOMPARE(factory->deviceType(), QStringLiteral("Ping"));
    QCOMPARE(factory->deviceDisplayName(), QStringLiteral("Ping"));
    QVERIFY(!factory->isTimecodeDevice());
    const QIcon icon = factory->deviceIcon();
    QVERIFY(!icon.isNull());
    LM_VERIFY_SVG_ICON_DRAWN(icon, 26);

    std::unique_ptr<Device> device(factory->createDevice(true));
    QVERIFY(device);
    QCOMPARE(device->typeName(), QStringLiteral("Ping"));
    QVERIFY(device->qt_metacast("PingDevice"));
    QVERIFY(device->isOnMaster());
}

void TestPingPlugin::registry()
{
    QPluginLoader loader(QStringLiteral(PING_PLUGIN_PATH));
    auto *factory = qobject_cast<DeviceFactoryInterface *>(loader.instance());
    QVERIFY(factory);
    const NodeTypeRegistry &r = factory->nodeTypeRegistry(HostCallbacks());
    QCOMPARE(&factory->nodeTypeRegistry(HostCallbacks()), &r); // one registry

    QCOMPARE(r.controllerFactories.keys(), QList<QUuid>({kPingStatus}));
    QCOMPARE(r.controllerNames.value(kPingStatus), std::string("Ping status"));
    QCOMPARE(r.controllerCategories.value(kPingStatus), std::string("Devices/Ping"));
    QCOMPARE(r.controllerColors.value(kPingStatus), QColor(153, 102, 204, 255));
    QVERIFY(r.dataFactories.isEmpty());
    QVERIFY(r.dataWidgetFactories.isEmpty());
    QVERIFY(r.dataColors.isEmpty());
    QVERIFY(r.dataConverters.isEmpty());
}

void TestPingPlugin::loadedByTheHost()
{
    HostRegistry host;
    const HostRegistry::PluginLoad load = host.loadPlugin(QStringLiteral(PING_PLUGIN_PATH));
    QVERIFY2(load.ok, qPrintable(load.error));
    QCOMPARE(load.deviceType, QStringLiteral("Ping"));
    QVERIFY(host.deviceFactory(QStringLiteral("Ping")));
    QCOMPARE(host.registry().controllerNames.value(kPingStatus), std::string("Ping status"));
    QCOMPARE(host.registry().controllerCategories.value(kPingStatus), std::string("Devices/Ping"));
}

QTEST_MAIN(TestPingPlugin)
#include "tst_ping_plugin.moc"
