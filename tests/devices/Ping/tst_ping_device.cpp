#include "ping_bridge.h"
#include "ping_instances.h"
#include "scripted_ping.h"

#include <LMLog.h>
#include <XmlWriter.h>

#include <QDir>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <memory>

namespace {
const QByteArray kFullState("{dafbca35-c182-4a58-a340-c2544e614c2c}");
const QByteArray kChange("{b3e9f4a1-7c2d-4b8e-a5f0-1d6e3c9b2a7f}");

QString xmlOf(PingDevice &device)
{
    QString text;
    {
        XmlWriter writer(&text);
        device.writeXml(writer);
    }
    return text;
}

QDomElement elementOf(const QString &xml, QDomDocument *document)
{
    document->setContent(xml);
    return document->documentElement();
}

#ifndef Q_OS_WIN
// Threads of this process that run a ping worker, by the name the device gives them.
int workerThreadCount()
{
    int count = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "PingWorker")
            ++count;
    }
    return count;
}
#endif
} // namespace

class TestPingDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void constructedState();
    void xmlRoundTrip();
    void xmlAttributesAsRead_data();
    void xmlAttributesAsRead();
    void fullStateEncoding();
    void fullStateMessage_data();
    void fullStateMessage();
    void changeMessageOnCopy();
    void changeMessageOnMaster();
    void otherMessageTypeIgnored();
    void everyResultIsLoggedSentAndSignalled();
    void probeResultsReachTheOtherInstance();
    void lateInstanceGetsFullState();
    void initWithEmptyHostStopsProbing();
    void initReplacesTheWorker();
    void resultOfReplacedWorkerIsDropped();
    void destructionWhileProbeRuns();

private:
    void expect(QtMsgType type, const QString &pattern);

    std::unique_ptr<ScriptedPing> m_ping;
};

void TestPingDevice::initTestCase()
{
    m_ping = std::make_unique<ScriptedPing>();
    QVERIFY(m_ping->isValid());
}

void TestPingDevice::init()
{
    m_ping->reset();
    m_ping->useStandIn();
}

void TestPingDevice::expect(QtMsgType type, const QString &pattern)
{
    const LOG::logType logType = type == QtWarningMsg ? LOG::WARNING : LOG::INFO;
    if (LMLog::modeContains(logType))
        QTest::ignoreMessage(type, QRegularExpression(pattern));
}

void TestPingDevice::constructedState()
{
    PingDevice device(true);
    QCOMPARE(device.typeName(), QStringLiteral("Ping"));
    QCOMPARE(device.deviceNumber(), 0);
    QCOMPARE(device.name(), QString());
    QCOMPARE(device.host, QString());
    QCOMPARE(device.intervalSec, 60);
    QVERIFY(!device.reachable);
    QVERIFY(!device.hasStatus);
    QVERIFY(device.qt_metacast("PingDevice"));
}

void TestPingDevice::xmlRoundTrip()
{
    PingDevice device(true);
    device.setDeviceNumber(3);
    device.setName(QStringLiteral("Lobby"));
    device.host = QStringLiteral("a<b>&\"c' d");
    device.intervalSec = 15;

    const QString xml = xmlOf(device);
    QCOMPARE(xml,
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<device type=\"Ping\" id=\"3\" name=\"Lobby\" "
                       "host=\"a&lt;b&gt;&amp;&quot;c&apos; d\" intervalSec=\"15\"/>"));

    QDomDocument document;
    PingDevice copy(false);
    copy.readDom(elementOf(xml, &document));
    QCOMPARE(copy.deviceNumber(), 3);
    QCOMPARE(copy.name(), QStringLiteral("Lobby"));
    QCOMPARE(copy.host, device.host);
    QCOMPARE(copy.intervalSec, 15);
    QCOMPARE(xmlOf(copy), xml);
}

void TestPingDevice::xmlAttributesAsRead_data()
{
    QTest::addColumn<QString>("attributes");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("intervalSec");
    QTest::newRow("interval missing") << "host=\"h\""
                                      << "h" << 60;
    QTest::newRow("host missing") << "intervalSec=\"5\""
                                  << "" << 5;
    QTest::newRow("both missing") << ""
                                  << "" << 60;
    QTest::newRow("zero kept") << "host=\"h\" intervalSec=\"0\""
                               << "h" << 0;
    QTest::newRow("negative kept") << "host=\"h\" intervalSec=\"-3\""
                                   << "h" << -3;
    QTest::newRow("not a number") << "host=\"h\" intervalSec=\"soon\""
                                  << "h" << 0;
    QTest::newRow("spaces kept in host") << "host=\" h \""
                                         << " h " << 60;
}

void TestPingDevice::xmlAttributesAsRead()
{
    QFETCH(QString, attributes);
    QFETCH(QString, host);
    QFETCH(int, intervalSec);
    QDomDocument document;
    PingDevice device(true);
    device.readDom(
        elementOf(QStringLiteral("<device type=\"Ping\" id=\"2\" name=\"n\" %1/>").arg(attributes),
            &document));
    QCOMPARE(device.host, host);
    QCOMPARE(device.intervalSec, intervalSec);
    QVERIFY(xmlOf(device).endsWith(
        QStringLiteral("intervalSec=\"%1\"/>").arg(intervalSec))); // stored as read
}

void TestPingDevice::fullStateEncoding()
{
    PingInstances instances;
    PingDevice &device = *instances.producerDevice;
    const QByteArray prefix = device.encodeRuntimeMessageHeader() + '*' + kFullState + '*';
    QCOMPARE(device.encodeSyncRuntimeMessage(), prefix + "0*0");
    device.onReachabilityChangedSync(false);
    QCOMPARE(device.encodeSyncRuntimeMessage(), prefix + "1*0");
    device.onReachabilityChangedSync(true);
    QCOMPARE(device.encodeSyncRuntimeMessage(), prefix + "1*1");
}

void TestPingDevice::fullStateMessage_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("applied");
    QTest::addColumn<bool>("hasStatus");
    QTest::addColumn<bool>("reachable");
    QTest::newRow("result, unreachable") << QByteArray("1*0") << true << true << false;
    QTest::newRow("result, reachable") << QByteArray("1*1") << true << true << true;
    QTest::newRow("no result yet") << QByteArray("0*0") << true << false << false;
    QTest::newRow("one field") << QByteArray("1") << false << false << false;
    QTest::newRow("empty") << QByteArray() << false << false << false;
}

void TestPingDevice::fullStateMessage()
{
    QFETCH(QByteArray, payload);
    QFETCH(bool, applied);
    QFETCH(bool, hasStatus);
    QFETCH(bool, reachable);
    PingInstances instances;
    PingDevice &device = *instances.mediaServerDevice;
    QSignalSpy signalled(&device, &PingDevice::reachabilityChanged);
    QSignalSpy sent(&instances.bus, &SyncBus::messageSent);
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));

    device.decodeRuntimeMessage(PingDevice::s_fullStateMessageType, payload);
    QCOMPARE(device.hasStatus, hasStatus);
    QCOMPARE(device.reachable, reachable);
    QCOMPARE(signalled.size(), qsizetype(applied ? 1 : 0));
    if (applied)
        QCOMPARE(signalled.at(0).at(0).toBool(), reachable);
    QVERIFY(sent.isEmpty());
}

void TestPingDevice::changeMessageOnCopy()
{
    PingInstances instances;
    PingDevice &device = *instances.mediaServerDevice;
    QSignalSpy signalled(&device, &PingDevice::reachabilityChanged);
    QSignalSpy sent(&instances.bus, &SyncBus::messageSent);

    expect(QtInfoMsg, QStringLiteral("^\\[PING\\] 127\\.0\\.0\\.1 — reachable$"));
    device.decodeRuntimeMessage(PingDevice::s_changeMessageType, "1");
    QVERIFY(device.hasStatus);
    QVERIFY(device.reachable);
    QCOMPARE(signalled.size(), qsizetype(1));
    QVERIFY(signalled.at(0).at(0).toBool());

    // An empty field reads as 0.
    expect(QtInfoMsg, QStringLiteral("^\\[PING\\] 127\\.0\\.0\\.1 — unreachable$"));
    device.decodeRuntimeMessage(PingDevice::s_changeMessageType, QByteArray());
    QVERIFY(!device.reachable);
    QCOMPARE(signalled.size(), qsizetype(2));
    QVERIFY(sent.isEmpty()); // only the master sends
}

void TestPingDevice::changeMessageOnMaster()
{
    PingInstances instances;
    QSignalSpy sent(&instances.bus, &SyncBus::messageSent);
    instances.producerDevice->decodeRuntimeMessage(PingDevice::s_changeMessageType, "0*extra");
    QCOMPARE(sent.size(), qsizetype(1));
    QCOMPARE(sent.at(0).at(3).toByteArray(), kChange + "*0");
}

void TestPingDevice::otherMessageTypeIgnored()
{
    PingInstances instances;
    PingDevice &device = *instances.mediaServerDevice;
    QSignalSpy signalled(&device, &PingDevice::reachabilityChanged);
    device.decodeRuntimeMessage(QUuid::createUuid(), "1*1");
    QVERIFY(signalled.isEmpty());
    QVERIFY(!device.hasStatus);
}

void TestPingDevice::everyResultIsLoggedSentAndSignalled()
{
    PingInstances instances;
    QSignalSpy sent(&instances.bus, &SyncBus::messageSent);
    QSignalSpy local(instances.producerDevice, &PingDevice::reachabilityChanged);
    QSignalSpy remote(instances.mediaServerDevice, &PingDevice::reachabilityChanged);

    for (int i = 0; i < 2; ++i) {
        expect(QtInfoMsg, QStringLiteral("^\\[PING\\] 127\\.0\\.0\\.1 — reachable$"));
        instances.producerDevice->onReachabilityChangedSync(true);
    }
    QCOMPARE(local.size(), qsizetype(2));
    QCOMPARE(sent.size(), qsizetype(2));
    for (const QList<QVariant> &message : sent) {
        QCOMPARE(message.at(0).toString(), QStringLiteral("producer"));
        QCOMPARE(message.at(3).toByteArray(), kChange + "*1");
    }
    // The copy logs too, but does not send again.
    QTRY_COMPARE(remote.size(), qsizetype(2));
    QCOMPARE(sent.size(), qsizetype(2));
    QVERIFY(instances.mediaServerDevice->hasStatus);
    QVERIFY(instances.mediaServerDevice->reachable);
}

void TestPingDevice::probeResultsReachTheOtherInstance()
{
    PingInstances instances;
    instances.producerDevice->intervalSec = 1;
    QSignalSpy remote(instances.mediaServerDevice, &PingDevice::reachabilityChanged);

    expect(QtInfoMsg, QStringLiteral("^\\[PING\\] Starting — host=127\\.0\\.0\\.1, interval=1s$"));
    instances.producerDevice->init();
    QTRY_VERIFY_WITH_TIMEOUT(!remote.isEmpty(), 10000);
    QVERIFY(remote.at(0).at(0).toBool());
    QVERIFY(instances.producerDevice->reachable);

    m_ping->setExitCode(1);
    QTRY_VERIFY_WITH_TIMEOUT(!instances.mediaServerDevice->reachable, 10000);
    QVERIFY(instances.mediaServerDevice->hasStatus);
    QVERIFY(!instances.producerDevice->reachable);
}

void TestPingDevice::lateInstanceGetsFullState()
{
    PingInstances instances;
    instances.producerDevice->onReachabilityChangedSync(true);
    QTRY_VERIFY(instances.mediaServerDevice->hasStatus);

    // A media server that joins later only has the full state to go by.
    Show late(instances.registry);
    late.setMaster(false);
    auto *copy = new PingDevice(false);
    copy->setDeviceNumber(1);
    QVERIFY(late.addDevice(copy));
    instances.bus.attach(&late);
    QSignalSpy signalled(copy, &PingDevice::reachabilityChanged);
    QCOMPARE(instances.bus.sendFullState(&instances.producer()), 2);
    QTRY_COMPARE(signalled.size(), qsizetype(1));
    QVERIFY(copy->hasStatus);
    QVERIFY(copy->reachable);
}

void TestPingDevice::initWithEmptyHostStopsProbing()
{
    PingInstances instances;
    PingDevice &device = *instances.producerDevice;
    device.intervalSec = 1;
    device.init();
    QTRY_VERIFY_WITH_TIMEOUT(device.hasStatus, 10000);

    device.host.clear();
    expect(QtWarningMsg, QStringLiteral("^\\[PING\\] No host configured — not starting$"));
    device.init();
    const qsizetype probes = m_ping->calls().size();
    QSignalSpy signalled(&device, &PingDevice::reachabilityChanged);
    QTest::qWait(2500); // more than two intervals
    QCOMPARE(m_ping->calls().size(), probes);
    QVERIFY(signalled.isEmpty());
    QVERIFY(device.hasStatus); // the last result stays
    QVERIFY(device.reachable);
}

void TestPingDevice::initReplacesTheWorker()
{
    PingInstances instances;
    PingDevice &device = *instances.producerDevice;
    device.host = QStringLiteral("127.0.0.2");
    device.init();
    QTRY_VERIFY_WITH_TIMEOUT(device.hasStatus, 10000);

    // Editing the host alone does not touch the running worker. A "%2" in the host (a
    // zone index) stays as typed in the log line.
    device.host = QStringLiteral("127.0.0.3%2");
    device.intervalSec = 1;
    const qsizetype before = m_ping->calls().size();
    expect(
        QtInfoMsg, QStringLiteral("^\\[PING\\] Starting — host=127\\.0\\.0\\.3%2, interval=1s$"));
    device.init();
    QTRY_VERIFY_WITH_TIMEOUT(m_ping->calls().size() >= before + 2, 10000);
    const QList<ScriptedPing::Call> calls = m_ping->calls();
    for (qsizetype i = 0; i < calls.size(); ++i)
        QCOMPARE(calls.at(i).arguments.last(),
            i < before ? QStringLiteral("127.0.0.2") : QStringLiteral("127.0.0.3%2"));
}

void TestPingDevice::resultOfReplacedWorkerIsDropped()
{
    PingInstances instances;
    PingDevice &device = *instances.producerDevice;
    QSignalSpy signalled(&device, &PingDevice::reachabilityChanged);
    device.init();

    // Block this thread while the probe ends, so that its result waits in the queue.
    QElapsedTimer clock;
    clock.start();
    while (
        clock.elapsed() < 10000 && (m_ping->calls().isEmpty() || m_ping->calls().at(0).endNs == 0))
        QThread::msleep(20);
    QThread::msleep(300);

    device.host = QStringLiteral("127.0.0.4");
    device.intervalSec = 3600;
    m_ping->setDelay(15);
    device.init();
    QTest::qWait(300);
    QVERIFY2(signalled.isEmpty(), "a result for the old host was taken for the new one");
    QVERIFY(!device.hasStatus);
}

void TestPingDevice::destructionWhileProbeRuns()
{
    m_ping->setDelay(15);
    auto device = std::make_unique<PingDevice>(true);
    device->host = QStringLiteral("127.0.0.1");
    device->init();
    QTRY_COMPARE_WITH_TIMEOUT(m_ping->calls().size(), qsizetype(1), 10000);
#ifndef Q_OS_WIN
    QCOMPARE(workerThreadCount(), 1);
#endif

    QElapsedTimer clock;
    clock.start();
    device.reset();
    QVERIFY2(clock.elapsed() < 10000, "destruction waited for the probe");
    QCOMPARE(m_ping->calls().at(0).endNs, qint64(0)); // the probe was cut short
#ifdef Q_OS_WIN
    QSKIP("the worker thread's end is checked through /proc, which Windows does not have; "
          "the probe was cut short without waiting for it");
#else
    QTRY_COMPARE(workerThreadCount(), 0);
#endif
}

QTEST_MAIN(TestPingDevice)
#include "tst_ping_device.moc"
