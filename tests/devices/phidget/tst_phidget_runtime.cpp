// The server manager, the runtime's start and teardown, the hosting rule, the context ids
// and the reporting of failed Phidget22 calls, observed through the stand-in's call log.
#include "phidget_server_manager.h"
#include "phidget_test_support.h"

#include <phidget22_sim.h>

#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

namespace {
const QStringList kNet {"PhidgetNet_startServer", "PhidgetNet_stopServer", "PhidgetNet_addServer",
    "PhidgetNet_enableServer", "PhidgetNet_disableServer"};
const int32_t kSerial = 4100;

// Handles and callback pointers differ from run to run.
QStringList normalised(QStringList calls)
{
    static const QRegularExpression pointer(QStringLiteral("0x[0-9a-fA-F]+|NULL"));
    for (QString &call : calls)
        call.replace(pointer, QStringLiteral("P"));
    return calls;
}

QString addServer(const char *address)
{
    return QStringLiteral(
        "PhidgetNet_addServer(\"Lumora Phidget Server %1\", \"%1\", 5661, \"\", 0)")
        .arg(QLatin1String(address));
}
QString enableServer(const char *address)
{
    return QStringLiteral("PhidgetNet_enableServer(\"Lumora Phidget Server %1\")")
        .arg(QLatin1String(address));
}
QString disableServer(const char *address)
{
    return QStringLiteral("PhidgetNet_disableServer(\"Lumora Phidget Server %1\", 0)")
        .arg(QLatin1String(address));
}
// `handle`: how the handle argument prints, "&P" once written, "&?" when the start failed.
QString startServer(const char *address, const char *handle = "&P")
{
    return QStringLiteral(
        "PhidgetNet_startServer(0, 2, \"Lumora Phidget Server %1\", \"%1\", 5661, \"\", %2)")
        .arg(QLatin1String(address), QLatin1String(handle));
}

PhidgetDeviceConfig boardConfig(const QString &address, int32_t mediaServerId = 0)
{
    PhidgetDeviceConfig config;
    config.mediaServerId = mediaServerId;
    config.producerServerAddress = address;
    return config;
}
} // namespace

class TestPhidgetRuntime : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void hostingRule();
    void contextIdsAreDistinctAndNeverReused();
    void serverManagerCountsUsers();
    void startOpensEveryKnownChannel();
    void invalidServers();
    void failedCallsAreReported();
};

void TestPhidgetRuntime::init()
{
    lmsim_phidget_reset();
}

void TestPhidgetRuntime::hostingRule()
{
    const NodeTypeRegistry registry = makePhidgetRegistry();
    const auto producer = makeInstance(registry);
    const auto mediaServer = makeInstance(registry, 1);
    QVERIFY(PhidgetDevice::isHostingInstance(producer.get(), 0));
    QVERIFY(!PhidgetDevice::isHostingInstance(producer.get(), 1));
    QVERIFY(PhidgetDevice::isHostingInstance(mediaServer.get(), 1));
    QVERIFY(!PhidgetDevice::isHostingInstance(mediaServer.get(), 2));
    QVERIFY(!PhidgetDevice::isHostingInstance(mediaServer.get(), 0));
    QVERIFY(!PhidgetDevice::isHostingInstance(nullptr, 0));

    // Every instance joins and opens; only the hosting one starts the local server.
    PhidgetDeviceConfig config = boardConfig("127.0.0.40");
    config.channels.insert(1, phidgetChannel(LM_DIGITAL_INPUT, 0));
    PhidgetDevice *onProducer = addPhidgetDevice(*producer, 1, config);
    PhidgetDevice *onMediaServer = addPhidgetDevice(*mediaServer, 1, config);
    onMediaServer->init();
    QCOMPARE(simCallNames(kNet), QStringList {"PhidgetNet_addServer"});
    QVERIFY(onMediaServer->runtime()->channelHandle(1));
    onProducer->init();
    QCOMPARE(normalised(simCalls(kNet)),
        QStringList({addServer("127.0.0.40"), startServer("127.0.0.40")}));
    simClear();
    producer->removeDevice(PhidgetDevice::s_typeName, 1);
    QCOMPARE(simCallNames(kNet), QStringList {"PhidgetNet_stopServer"});
    mediaServer->removeDevice(PhidgetDevice::s_typeName, 1);
    QCOMPARE(normalised(simCalls(kNet)),
        QStringList({"PhidgetNet_stopServer(&P)", disableServer("127.0.0.40")}));
}

void TestPhidgetRuntime::contextIdsAreDistinctAndNeverReused()
{
    PhidgetDevice first(true), second(true);
    const auto a = reinterpret_cast<PhidgetHandle>(quintptr(0x1000));
    const auto b = reinterpret_cast<PhidgetHandle>(quintptr(0x2000));
    int32_t highest = -1;
    {
        PhidgetDevice::Runtime one(&first, -1, 0, QString(), {});
        PhidgetDevice::Runtime two(&second, -1, 0, QString(), {});
        const int32_t idA = one.registerChannelContext(a, 1);
        QVERIFY(idA >= 0);
        QCOMPARE(one.registerChannelContext(a, 1), idA); // same handle, same id
        const int32_t idB = one.registerChannelContext(b, 2);
        const int32_t idOther = two.registerChannelContext(a, 1); // same handle, other device
        QVERIFY(idB > idA && idOther > idB);
        highest = idOther;
    }
    // The same handle in a later runtime gets a fresh id.
    PhidgetDevice::Runtime three(&first, -1, 0, QString(), {});
    QVERIFY(three.registerChannelContext(a, 1) > highest);
}

void TestPhidgetRuntime::serverManagerCountsUsers()
{
    MessageCapture capture;
    // Two users of one address: added once, disabled at the last release.
    PhidgetServerManager::connectToServer("127.0.0.30");
    PhidgetServerManager::connectToServer("127.0.0.30");
    PhidgetServerManager::disconnectFromServer("127.0.0.30");
    QCOMPARE(simCalls(kNet), QStringList {addServer("127.0.0.30")});
    PhidgetServerManager::disconnectFromServer("127.0.0.30");
    // Again: re-enabled, never added a second time. An unknown address does nothing.
    PhidgetServerManager::connectToServer("127.0.0.30");
    PhidgetServerManager::disconnectFromServer("127.0.0.30");
    PhidgetServerManager::disconnectFromServer("127.0.0.99");
    QCOMPARE(simCalls(kNet),
        QStringList({addServer("127.0.0.30"), disableServer("127.0.0.30"),
            enableServer("127.0.0.30"), disableServer("127.0.0.30")}));

    // A failed add counts its user but leaves the entry not added: added again next time (its
    // release disables an entry Phidget22 does not know, which it reports).
    simClear();
    lmsim_phidget_fail_call("PhidgetNet_addServer", EPHIDGET_UNEXPECTED, 1);
    PhidgetServerManager::connectToServer("127.0.0.31");
    PhidgetServerManager::disconnectFromServer("127.0.0.31");
    PhidgetServerManager::connectToServer("127.0.0.31");
    PhidgetServerManager::disconnectFromServer("127.0.0.31");
    QCOMPARE(simCalls(kNet),
        QStringList({addServer("127.0.0.31"), disableServer("127.0.0.31"), addServer("127.0.0.31"),
            disableServer("127.0.0.31")}));

    // A failed start is retried by the next user; two addresses share the first's server.
    simClear();
    lmsim_phidget_fail_call("PhidgetNet_startServer", EPHIDGET_BUSY, 1);
    QVERIFY(!PhidgetServerManager::startServer("127.0.0.32"));
    QVERIFY(PhidgetServerManager::startServer("127.0.0.32"));
    QVERIFY(PhidgetServerManager::startServer("127.0.0.33"));
    PhidgetServerManager::stopServer();
    PhidgetServerManager::stopServer();
    QCOMPARE(normalised(simCalls(kNet)),
        QStringList({startServer("127.0.0.32", "&?"), startServer("127.0.0.32")}));
    PhidgetServerManager::stopServer();
    QCOMPARE(simCallNames(kNet).last(), QStringLiteral("PhidgetNet_stopServer"));

    QCOMPARE(capture.texts(),
        QStringList({MessageCapture::failure("PhidgetNet_addServer failed.", EPHIDGET_UNEXPECTED),
            MessageCapture::failure("PhidgetNet_disableServer failed.", EPHIDGET_NOENT),
            MessageCapture::failure("PhidgetNet_startServer failed.", EPHIDGET_BUSY)}));
    QCOMPARE(capture.messages().first().first, QtInfoMsg);
}

void TestPhidgetRuntime::startOpensEveryKnownChannel()
{
    const NodeTypeRegistry registry = makePhidgetRegistry();
    const auto producer = makeInstance(registry);
    PhidgetDeviceConfig config = boardConfig("127.0.0.41");
    config.channels.insert(1, phidgetChannel(LM_DIGITAL_INPUT, -1, -1, false));
    config.channels.insert(2, phidgetChannel(LM_PhidgetChannelType(0), 1));
    config.channels.insert(3, phidgetChannel(LM_PhidgetChannelType(7), 1));
    config.channels.insert(4, phidgetChannel(LM_ENCODER, 0, 0, true));
    config.channels.insert(5, phidgetChannel(LM_DIGITAL_OUTPUT, 2));
    PhidgetDevice *device = addPhidgetDevice(*producer, 1, config);

    MessageCapture capture;
    device->init();
    const QStringList input {"PhidgetDigitalInput_create",
        "PhidgetDigitalInput_setOnStateChangeHandler", "Phidget_setOnAttachHandler",
        "Phidget_setOnDetachHandler", "Phidget_setOnErrorHandler", "Phidget_setIsHubPortDevice",
        "Phidget_setIsRemote", "Phidget_open"};
    const QStringList encoder {"PhidgetEncoder_create", "PhidgetEncoder_setOnPositionChangeHandler",
        "Phidget_setOnAttachHandler", "Phidget_setOnDetachHandler", "Phidget_setOnErrorHandler",
        "Phidget_setHubPort", "Phidget_setChannel", "Phidget_setIsHubPortDevice",
        "Phidget_setIsRemote", "Phidget_open"};
    const QStringList output {"PhidgetDigitalOutput_create", "Phidget_setOnAttachHandler",
        "Phidget_setOnDetachHandler", "Phidget_setOnErrorHandler", "Phidget_setChannel",
        "Phidget_setIsHubPortDevice", "Phidget_setIsRemote", "Phidget_open"};
    QCOMPARE(simCallNames(),
        QStringList({"PhidgetNet_startServer", "PhidgetNet_addServer"}) + input + encoder + output);
    // -1 leaves a property unset, 0 sets it; hub port mode and remote as configured.
    const QStringList setters = normalised(simCalls({"Phidget_setHubPort", "Phidget_setChannel",
        "Phidget_setIsHubPortDevice", "Phidget_setIsRemote"}));
    QCOMPARE(setters,
        QStringList({"Phidget_setIsHubPortDevice(P, 0)", "Phidget_setIsRemote(P, 1)",
            "Phidget_setHubPort(P, 0)", "Phidget_setChannel(P, 0)",
            "Phidget_setIsHubPortDevice(P, 1)", "Phidget_setIsRemote(P, 1)",
            "Phidget_setChannel(P, 2)", "Phidget_setIsHubPortDevice(P, 0)",
            "Phidget_setIsRemote(P, 1)"}));
    QVERIFY(simCalls({"Phidget_setDeviceSerialNumber"}).isEmpty());
    QVERIFY(device->runtime()->serverJoined());
    QVERIFY(device->runtime()->channelHandle(1));
    QVERIFY(!device->runtime()->channelHandle(2));
    QVERIFY(!device->runtime()->channelHandle(3));
    QVERIFY(device->runtime()->channelHandle(4, LM_ENCODER));
    QVERIFY(!device->runtime()->channelHandle(4, LM_DIGITAL_INPUT));
    QCOMPARE(lmsim_phidget_live_handles(), 3);
    QVERIFY(capture.texts().isEmpty()); // skipped types say nothing

    // Serial number 0 is set; -1 is not. Re-init tears the old runtime down first.
    config.serialNumber = 0;
    device->setConfig(config);
    simClear();
    device->init();
    const QStringList calls = simCallNames();
    QCOMPARE(calls.mid(0, 2), QStringList({"Phidget_close", "PhidgetDigitalInput_delete"}));
    QCOMPARE(calls.mid(6, 3),
        QStringList(
            {"PhidgetNet_disableServer", "PhidgetNet_stopServer", "PhidgetNet_startServer"}));
    QCOMPARE(normalised(simCalls({"Phidget_setDeviceSerialNumber"})),
        QStringList(3, "Phidget_setDeviceSerialNumber(P, 0)"));
    QCOMPARE(lmsim_phidget_live_handles(), 3);

    simClear();
    producer->removeDevice(PhidgetDevice::s_typeName, 1);
    QCOMPARE(simCallNames(),
        QStringList({"Phidget_close", "PhidgetDigitalInput_delete", "Phidget_close",
            "PhidgetEncoder_delete", "Phidget_close", "PhidgetDigitalOutput_delete",
            "PhidgetNet_disableServer", "PhidgetNet_stopServer"}));
    QCOMPARE(lmsim_phidget_live_handles(), 0);
}

void TestPhidgetRuntime::invalidServers()
{
    const NodeTypeRegistry registry = makePhidgetRegistry();
    const auto producer = makeInstance(registry);
    PhidgetDeviceConfig config = boardConfig("board.local");
    config.channels.insert(1, phidgetChannel(LM_DIGITAL_INPUT, 0));
    PhidgetDevice *byName = addPhidgetDevice(*producer, 1, config, "Named");
    config.producerServerAddress.clear();
    PhidgetDevice *empty = addPhidgetDevice(*producer, 2, config, "Empty");
    config.mediaServerId = 7;
    PhidgetDevice *missing = addPhidgetDevice(*producer, 3, config, "Gone");

    MessageCapture capture;
    byName->init();
    empty->init();
    missing->init();
    QCOMPARE(capture.texts(),
        QStringList({"[PHIDGET] Invalid Phidget server address for device Named : board.local",
            "[PHIDGET] Invalid Phidget server address for device Empty : ",
            "[PHIDGET] Invalid Phidget server for device Gone"}));
    for (const auto &message : capture.messages())
        QCOMPARE(message.first, QtWarningMsg);
    QVERIFY(!missing->runtime()->serverJoined());
    producer.get()->removeDevice(PhidgetDevice::s_typeName, 3);
    producer.get()->removeDevice(PhidgetDevice::s_typeName, 2);
    producer.get()->removeDevice(PhidgetDevice::s_typeName, 1);
    QVERIFY(simCalls().isEmpty()); // nothing opened, nothing released
}

void TestPhidgetRuntime::failedCallsAreReported()
{
    const NodeTypeRegistry registry = makePhidgetRegistry();
    const auto producer = makeInstance(registry);
    QCOMPARE(lmsim_phidget_board_create(kSerial, 0), 0);
    QCOMPARE(lmsim_phidget_board_add_channels(kSerial, PHIDCHCLASS_ENCODER, -1, 1, 0), 0);
    QCOMPARE(lmsim_phidget_board_add_channels(kSerial, PHIDCHCLASS_DIGITALOUTPUT, -1, 1, 0), 0);
    QCOMPARE(lmsim_phidget_board_attach(kSerial, "127.0.0.42"), 0);

    PhidgetDeviceConfig config = boardConfig("127.0.0.42");
    config.serialNumber = kSerial;
    config.channels.insert(1, phidgetChannel(LM_DIGITAL_INPUT, 0)); // create fails
    config.channels.insert(2, phidgetChannel(LM_ENCODER, 0)); // handler install fails
    config.channels.insert(3, phidgetChannel(LM_DIGITAL_OUTPUT, 0)); // open fails
    config.channels.insert(4, phidgetChannel(LM_ENCODER, 0));
    config.channels.insert(5, phidgetChannel(LM_DIGITAL_OUTPUT, 0));
    PhidgetDevice *device = addPhidgetDevice(*producer, 1, config);
    QSignalSpy moved(device, &PhidgetDevice::encoderPositionChanged);

    MessageCapture capture;
    lmsim_phidget_fail_call("PhidgetDigitalInput_create", EPHIDGET_NOMEMORY, 1);
    lmsim_phidget_fail_call("PhidgetEncoder_setOnPositionChangeHandler", EPHIDGET_INVALIDARG, 1);
    lmsim_phidget_fail_call("Phidget_open", EPHIDGET_IO, 1);
    device->init();
    const PhidgetDevice::Runtime *runtime = device->runtime();
    QCOMPARE(QList<PhidgetHandle>(
                 {runtime->channelHandle(1), runtime->channelHandle(2), runtime->channelHandle(3)}),
        QList<PhidgetHandle>(3, nullptr));
    QVERIFY(runtime->channelHandle(4) && runtime->channelHandle(5));
    QCOMPARE(lmsim_phidget_live_handles(), 2); // the failed ones were deleted again

    // The position read of an encoder event fails: logged, nothing emitted.
    QTRY_COMPARE(lmsim_phidget_is_attached(runtime->channelHandle(4)), 1);
    lmsim_phidget_fail_call("PhidgetEncoder_getPosition", EPHIDGET_NOTATTACHED, 1);
    QCOMPARE(lmsim_phidget_turn_encoder(kSerial, -1, 0, 3), 0);
    deliverEvents();
    QCOMPARE(moved.count(), 0);
    QCOMPARE(lmsim_phidget_turn_encoder(kSerial, -1, 0, 2), 0);
    QTRY_COMPARE(moved.count(), 1);
    QCOMPARE(moved.first().at(1).value<int64_t>(), int64_t(5));

    // A write that Phidget22 reports failed in its completion handler.
    lmsim_phidget_fail_call("PhidgetDigitalOutput_setState_async", EPHIDGET_TIMEOUT, 1);
    PhidgetDigitalOutput_setState_async(
        reinterpret_cast<PhidgetDigitalOutputHandle>(runtime->channelHandle(5)), 1, setStateDone,
        nullptr);
    deliverEvents();

    // A failed close is reported; the handle is still deleted.
    lmsim_phidget_fail_call("Phidget_close", EPHIDGET_CLOSED, 1);
    producer->removeDevice(PhidgetDevice::s_typeName, 1);
    QCOMPARE(lmsim_phidget_live_handles(), 0);

    QStringList expected {
        MessageCapture::failure("PhidgetDigitalInput_create failed.", EPHIDGET_NOMEMORY),
        MessageCapture::failure(
            "PhidgetEncoder_setOnPositionChangeHandler failed.", EPHIDGET_INVALIDARG),
        MessageCapture::failure("Phidget_open failed.", EPHIDGET_IO),
        MessageCapture::failure("PhidgetEncoder_getPosition failed.", EPHIDGET_NOTATTACHED),
        MessageCapture::failure("PhidgetDigitalOutput_setState_async failed.", EPHIDGET_TIMEOUT),
        MessageCapture::failure("Phidget_close failed.", EPHIDGET_CLOSED)};
    QStringList texts = capture.texts();
    texts.removeIf([](const QString &text) { return text.startsWith("[PHIDGET] Channel"); });
    QCOMPARE(texts, expected);
    for (const auto &message : capture.messages())
        QCOMPARE(message.first, QtInfoMsg);
}

QTEST_MAIN(TestPhidgetRuntime)
#include "tst_phidget_runtime.moc"
