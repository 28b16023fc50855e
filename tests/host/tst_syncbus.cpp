// Several host instances in one process: the sync bus between their devices and
// the resolution of device descriptors in each show copy.
#include "Device.h"
#include "HostRegistry.h"
#include "NodeData.h"
#include "Show.h"
#include "SyncBus.h"

#include <QRegularExpression>
#include <QTest>

#include <climits>

namespace {

const QUuid kMessageType = QUuid::fromString(u"dafbca35-c182-4a58-a340-c2544e614c2c");

class EchoDevice : public Device
{
public:
    EchoDevice(const QString &type, int number, bool onMaster = false)
        : Device(onMaster)
    {
        m_typeName = type;
        m_deviceNumber = number;
    }

    void decodeRuntimeMessage(const LiveUpdateMessageType &type, const QByteArray &payload) override
    {
        received.append({type, payload});
    }
    QByteArray encodeSyncRuntimeMessage() override { return state; }

    QList<QPair<QUuid, QByteArray>> received;
    QByteArray state;
};

QByteArray message(const QByteArray &payload)
{
    return kMessageType.toByteArray() + '*' + payload;
}

} // namespace

class TestSyncBus : public QObject
{
    Q_OBJECT

private:
    NodeTypeRegistry m_registry;
    std::vector<std::unique_ptr<Show>> m_shows;
    std::unique_ptr<SyncBus> m_bus;

    EchoDevice *echo(int show, int number = 1)
    {
        return static_cast<EchoDevice *>(
            m_shows[size_t(show)]->findDevice(QStringLiteral("Echo"), number));
    }

private slots:
    void init()
    {
        m_bus = std::make_unique<SyncBus>();
        for (int i = 0; i < 3; ++i) {
            auto show = std::make_unique<Show>(m_registry);
            show->setInstanceName(QStringLiteral("instance %1").arg(i));
            show->setMaster(i == 0);
            show->setAppMode(i == 0 ? Show::ProducerMode : Show::MediaServerMode);
            show->setLocalMediaServerId(i);
            QVERIFY(show->addDevice(new EchoDevice(QStringLiteral("Echo"), 1)));
            if (i < 2)
                QVERIFY(show->addDevice(new EchoDevice(QStringLiteral("Echo"), 2)));
            QVERIFY(show->addDevice(new EchoDevice(QStringLiteral("Other"), 1)));
            m_bus->attach(show.get());
            m_shows.push_back(std::move(show));
        }
    }

    void cleanup()
    {
        m_shows.clear();
        m_bus.reset();
    }

    void messageReachesTheSameDeviceElsewhereQueuedAndInOrder()
    {
        echo(0)->sendSyncMessageToRemoteDevices(message("1*0"));
        echo(0)->sendSyncMessageToRemoteDevices(message("2"));
        echo(0)->sendSyncMessageToRemoteDevices(message(""));
        // Nothing arrives before the event loop runs.
        QVERIFY(echo(1)->received.isEmpty());
        QCoreApplication::processEvents();
        for (int show : {1, 2}) {
            const auto &got = echo(show)->received;
            QCOMPARE(got.size(), 3);
            QCOMPARE(got[0].first, kMessageType);
            QCOMPARE(got[0].second, QByteArray("1*0"));
            QCOMPARE(got[1].second, QByteArray("2"));
            QCOMPARE(got[2].second, QByteArray(""));
        }
        QVERIFY(echo(0)->received.isEmpty()); // not back to the sender
        QVERIFY(echo(1, 2)->received.isEmpty()); // another number
        auto *other = static_cast<EchoDevice *>(m_shows[1]->findDevice(QStringLiteral("Other"), 1));
        QVERIFY(other->received.isEmpty()); // another type
    }

    void nonMasterMessagesGoToTheMasterAlone()
    {
        // A star: media server 1 reaches the master only, queued and in order.
        QCOMPARE(m_bus->send(*echo(1), message("a")), 1);
        QCOMPARE(m_bus->send(*echo(1), message("b")), 1);
        QCoreApplication::processEvents();
        QCOMPARE(echo(0)->received.size(), 2);
        QCOMPARE(echo(0)->received[1].second, QByteArray("b"));
        QVERIFY(echo(2)->received.isEmpty());

        // Every instance marked master gets it; with none it is dropped.
        m_shows[2]->setMaster(true);
        QCOMPARE(m_bus->send(*echo(1), message("c")), 2);
        m_shows[0]->setMaster(false);
        m_shows[2]->setMaster(false);
        QTest::ignoreMessage(QtWarningMsg,
            QRegularExpression(QStringLiteral("no master instance to go to; dropped")));
        QCOMPARE(m_bus->send(*echo(1), message("d")), 0);
        QCoreApplication::processEvents();
        QCOMPARE(echo(0)->received.size(), 3);
        QCOMPARE(echo(2)->received.size(), 1);
        QCOMPARE(echo(2)->received[0].second, QByteArray("c"));
    }

    void manyMessagesKeepTheirOrder()
    {
        for (int i = 0; i < 200; ++i)
            echo(0)->sendSyncMessageToRemoteDevices(message(QByteArray::number(i)));
        QCoreApplication::processEvents();
        QCOMPARE(echo(2)->received.size(), 200);
        for (int i = 0; i < 200; ++i)
            QCOMPARE(echo(2)->received[i].second, QByteArray::number(i));
    }

    void malformedMessagesAreDropped()
    {
        const QList<QByteArray> bad {
            "no star", "dafbca35-c182-4a58-a340-c2544e614c2c*1", "{not-a-uuid}*1", "", "*1"};
        for (const QByteArray &m : bad)
            QCOMPARE(m_bus->send(*echo(0), m), 0);
        QCoreApplication::processEvents();
        QVERIFY(echo(1)->received.isEmpty());
    }

    void deviceMissingOnAnInstanceIsSkipped()
    {
        QCOMPARE(m_bus->send(*echo(0, 2), message("x")), 1); // only instance 1 has Echo 2
        QCoreApplication::processEvents();
        QCOMPARE(echo(1, 2)->received.size(), 1);
    }

    void deviceDeletedBeforeDeliveryIsSafe()
    {
        echo(0)->sendSyncMessageToRemoteDevices(message("late"));
        QVERIFY(m_shows[2]->removeDevice(QStringLiteral("Echo"), 1));
        QCoreApplication::processEvents();
        QCOMPARE(echo(1)->received.size(), 1);
    }

    void fullStateGoesOutWithoutItsHeader()
    {
        echo(0)->state = echo(0)->encodeRuntimeMessageHeader() + '*' + message("1*1");
        echo(0, 2)->state = "no header*" + message("1");
        QCOMPARE(m_bus->sendFullState(m_shows[0].get()), 2);
        QCoreApplication::processEvents();
        QCOMPARE(echo(1)->received.size(), 1);
        QCOMPARE(echo(1)->received[0].second, QByteArray("1*1"));
        QCOMPARE(echo(2)->received.size(), 1);
        QVERIFY(echo(1, 2)->received.isEmpty());
    }

    void masterAndInstanceData()
    {
        QVERIFY(echo(0)->isOnMaster());
        QVERIFY(!echo(1)->isOnMaster());
        QCOMPARE(echo(0)->show()->appMode(), 2);
        QCOMPARE(echo(2)->show()->localMediaServerId(), 2);
        // A device outside a show answers from its constructor's flag.
        EchoDevice loose(QStringLiteral("Echo"), 1, true);
        QVERIFY(loose.isOnMaster());
        QVERIFY(loose.getMediaServers().isEmpty());
        loose.sendSyncMessageToRemoteDevices(message("x")); // no bus: nothing happens
    }

    void deviceResolution()
    {
        Show &show = *m_shows[0];
        QCOMPARE(show.resolveDevice(DeviceDescriptorData(QStringLiteral("Echo"), 2)), echo(0, 2));
        QVERIFY(!show.resolveDevice(DeviceDescriptorData(QStringLiteral("Echo"), 3)));
        QVERIFY(!show.resolveDevice(DeviceDescriptorData(QStringLiteral("echo"), 1)));
        QVERIFY(!show.resolveDevice(DeviceDescriptorData(QStringLiteral("Other"), 2)));
        QVERIFY(!show.resolveDevice(DeviceDescriptorData(QStringLiteral("Echo"))));
        // Each copy resolves to its own device.
        QCOMPARE(
            m_shows[1]->resolveDevice(DeviceDescriptorData(QStringLiteral("Echo"), 1)), echo(1));
        const QMap<int, Device *> devices = show.devicesOfType(QStringLiteral("Echo"));
        QCOMPARE(devices.keys(), (QList<int> {1, 2}));
        QVERIFY(show.devicesOfType(QStringLiteral("None")).isEmpty());
    }

    void deviceNumbers()
    {
        Show &show = *m_shows[0];
        auto *fresh = new EchoDevice(QStringLiteral("Echo"), -1);
        QVERIFY(show.addDevice(fresh));
        QCOMPARE(fresh->deviceNumber(), 3);
        QString error;
        QVERIFY(!show.addDevice(new EchoDevice(QStringLiteral("Echo"), 2), &error));
        QVERIFY(error.contains(QStringLiteral("already")));
        QCOMPARE(fresh->show(), &show);

        // After the largest number there is none: the lowest free one is taken.
        QVERIFY(show.addDevice(new EchoDevice(QStringLiteral("Echo"), INT_MAX)));
        auto *wrapped = new EchoDevice(QStringLiteral("Echo"), -1);
        QVERIFY(show.addDevice(wrapped));
        QCOMPARE(wrapped->deviceNumber(), 4);
    }

    void mediaServers()
    {
        Show &show = *m_shows[0];
        auto screen
            = std::make_unique<Screen>(2, QStringLiteral("Right"), QStringLiteral("127.0.0.2"));
        auto set = std::make_unique<ScreenSet>();
        set->addScreenOutput(ScreenOutput(0, QStringLiteral("A")));
        set->addScreenOutput(ScreenOutput(1, QStringLiteral("B"), 1));
        screen->setScreenSet(std::move(set));
        QVERIFY(show.addMediaServer(std::move(screen)));
        QVERIFY(
            show.addMediaServer(std::make_unique<Screen>(1, QStringLiteral("Left"), QString())));
        QVERIFY(
            !show.addMediaServer(std::make_unique<Screen>(1, QStringLiteral("Dup"), QString())));
        const MediaServers &servers = echo(0)->getMediaServers();
        QCOMPARE(servers.keys(), (QList<int> {1, 2}));
        QVERIFY(!servers.value(1)->screenSet());
        const ScreenOutputs &outputs = servers.value(2)->screenSet()->getScreenOutputs();
        QCOMPARE(outputs.size(), 2);
        QCOMPARE(outputs[1].getName(), QStringLiteral("B"));
        QCOMPARE(outputs[1].kind(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSyncBus)
#include "tst_syncbus.moc"
