// The server manager, the runtime's start and teardown, the hosting rule, context ids and
// failed Phidget22 calls, observed through the stand-in's call log. Server manager state is
// process-wide: every case uses addresses of its own.
#include "phidget_runtime_p.h"
#include "phidget_server_manager.h"
#include "phidget_test_support.h"

#include <QRegularExpression>
#include <QSignalSpy>

// The platform's own address family values (AF_INET6 is 23 on Windows, 10 on Linux).
#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

namespace {
const QStringList kNet {"PhidgetNet_startServer", "PhidgetNet_stopServer", "PhidgetNet_addServer",
    "PhidgetNet_enableServer", "PhidgetNet_disableServer"};

// The network calls, with handles (which differ from run to run) as P.
QStringList netCalls()
{
    return simCalls(kNet).replaceInStrings(QRegularExpression("0x[0-9a-f]+"), "P");
}

// A server listens on its address's family.
QString net(const char *call, const QString &address = "")
{
    static const QMap<QString, QString> forms {{"add", "addServer(\"N\", \"A\", 5661, \"\", 0)"},
        {"enable", "enableServer(\"N\")"}, {"disable", "disableServer(\"N\", 0)"},
        {"start", "startServer(0, F, \"N\", \"A\", 5661, \"\", &P)"},
        {"failedStart", "startServer(0, F, \"N\", \"A\", 5661, \"\", &?)"},
        {"stop", "stopServer(&P)"}};
    return "PhidgetNet_"
        + QString(forms.value(call))
              .replace("F", QString::number(address.contains(':') ? AF_INET6 : AF_INET))
              .replace("N", "Lumora Phidget Server " + address)
              .replace("A\"", address + "\"");
}

PhidgetDeviceConfig boardConfig(const QString &address, PhidgetChannelMap channels = {})
{
    return {-1, 0, address, channels};
}
} // namespace

class TestPhidgetRuntime : public QObject
{
    Q_OBJECT

private slots:
    void init() { lmsim_phidget_reset(); }
    void serverManagerCountsUsers();
    void hostingInstanceStartsTheServer();
    void addressIsTrimmedAndServedInItsFamily();
    void opensKnownChannelsWithTheirAddressing();
    void channelsAttachOnlyBehindTheirOwnServer();
    void invalidServers();
    void failedCallsAreReported();
    void contextIdsAreDistinctAndNeverReused();
};

void TestPhidgetRuntime::serverManagerCountsUsers()
{
    MessageCapture capture;
    // Two users: added once, disabled at the last release, then re-enabled, never re-added.
    // An unknown address does nothing.
    for (int i = 0; i < 2; ++i)
        PhidgetServerManager::connectToServer("127.0.0.30");
    PhidgetServerManager::disconnectFromServer("127.0.0.30");
    QCOMPARE(netCalls(), QStringList {net("add", "127.0.0.30")});
    PhidgetServerManager::disconnectFromServer("127.0.0.30");
    PhidgetServerManager::connectToServer("127.0.0.30");
    PhidgetServerManager::disconnectFromServer("127.0.0.30");
    PhidgetServerManager::disconnectFromServer("127.0.0.99");
    // A failed add is tried again by the next first user (its release disables an entry that
    // Phidget22 does not know, which is reported).
    lmsim_phidget_fail_call("PhidgetNet_addServer", EPHIDGET_UNEXPECTED, 1);
    PhidgetServerManager::connectToServer("127.0.0.31");
    PhidgetServerManager::disconnectFromServer("127.0.0.31");
    PhidgetServerManager::connectToServer("127.0.0.31");
    QCOMPARE(netCalls(),
        QStringList({net("add", "127.0.0.30"), net("disable", "127.0.0.30"),
            net("enable", "127.0.0.30"), net("disable", "127.0.0.30"), net("add", "127.0.0.31"),
            net("disable", "127.0.0.31"), net("add", "127.0.0.31")}));

    // A failed start is retried by the next user; a second address shares the first's server.
    lmsim_phidget_log_clear();
    lmsim_phidget_fail_call("PhidgetNet_startServer", EPHIDGET_BUSY, 1);
    QVERIFY(!PhidgetServerManager::startServer("127.0.0.32"));
    QVERIFY(PhidgetServerManager::startServer("127.0.0.32"));
    QVERIFY(PhidgetServerManager::startServer("127.0.0.33"));
    PhidgetServerManager::stopServer();
    PhidgetServerManager::stopServer();
    QCOMPARE(
        netCalls(), QStringList({net("failedStart", "127.0.0.32"), net("start", "127.0.0.32")}));
    PhidgetServerManager::stopServer();
    QCOMPARE(netCalls().last(), net("stop"));
    // A release too many takes nothing from the next users: they share one start.
    PhidgetServerManager::stopServer();
    lmsim_phidget_log_clear();
    QVERIFY(PhidgetServerManager::startServer("127.0.0.34"));
    QVERIFY(PhidgetServerManager::startServer("127.0.0.34"));
    PhidgetServerManager::stopServer();
    PhidgetServerManager::stopServer();
    QCOMPARE(netCalls(), QStringList({net("start", "127.0.0.34"), net("stop")}));

    QList<QtMsgType> types;
    QCOMPARE(capture.texts(&types),
        QStringList({MessageCapture::failure("PhidgetNet_addServer", EPHIDGET_UNEXPECTED),
            MessageCapture::failure("PhidgetNet_disableServer", EPHIDGET_NOENT),
            MessageCapture::failure("PhidgetNet_startServer", EPHIDGET_BUSY)}));
    QCOMPARE(types, QList<QtMsgType>(3, QtInfoMsg));
}

void TestPhidgetRuntime::hostingInstanceStartsTheServer()
{
    const PhidgetInstances instances(1);
    Show *const producer = &instances.producer();
    Show *const mediaServer = &instances.mediaServer();
    QVERIFY(PhidgetDevice::isHostingInstance(producer, 0));
    QVERIFY(!PhidgetDevice::isHostingInstance(producer, 1));
    QVERIFY(PhidgetDevice::isHostingInstance(mediaServer, 1));
    QVERIFY(!PhidgetDevice::isHostingInstance(mediaServer, 2));
    QVERIFY(!PhidgetDevice::isHostingInstance(mediaServer, 0));
    QVERIFY(!PhidgetDevice::isHostingInstance(nullptr, 0));

    // Every instance joins and opens; only the hosting one starts (and stops) the server.
    const auto config = boardConfig("127.0.0.40", {{1, phidgetChannel(LM_DIGITAL_INPUT, 0)}});
    PhidgetDevice *onMediaServer = addPhidgetDevice(*mediaServer, 1, config);
    onMediaServer->init();
    QVERIFY(onMediaServer->runtime()->channelHandle(1));
    addPhidgetDevice(*producer, 1, config)->init();
    producer->removeDevice(PhidgetDevice::s_typeName, 1);
    mediaServer->removeDevice(PhidgetDevice::s_typeName, 1);
    QCOMPARE(netCalls(),
        QStringList({net("add", "127.0.0.40"), net("start", "127.0.0.40"), net("stop"),
            net("disable", "127.0.0.40")}));

    // Teardown stops what start started, whatever the instance has become since: a device
    // that did not host at its start must not stop the server that another device uses.
    lmsim_phidget_log_clear();
    mediaServer->addMediaServer(std::make_unique<Screen>(3, QStringLiteral("MS3"), "127.0.0.48"));
    addPhidgetDevice(*producer, 2, boardConfig("127.0.0.46"))->init();
    mediaServer->setLocalMediaServerId(2);
    addPhidgetDevice(*mediaServer, 2, {-1, 3, QString(), {}})->init();
    mediaServer->setLocalMediaServerId(3); // now it would host
    mediaServer->removeDevice(PhidgetDevice::s_typeName, 2);
    QCOMPARE(netCalls(),
        QStringList({net("start", "127.0.0.46"), net("add", "127.0.0.46"), net("add", "127.0.0.48"),
            net("disable", "127.0.0.48")}));
    mediaServer->setLocalMediaServerId(1);
    producer->setAppMode(Show::MediaServerMode); // now it would not host
    producer->removeDevice(PhidgetDevice::s_typeName, 2);
    QCOMPARE(netCalls().mid(4), QStringList({net("disable", "127.0.0.46"), net("stop")}));
}

void TestPhidgetRuntime::addressIsTrimmedAndServedInItsFamily()
{
    const PhidgetInstances instances;
    Show *const producer = &instances.producer();
    MessageCapture capture;
    for (const char *address : {" 127.0.0.49\t", " ::1 "}) {
        addPhidgetDevice(*producer, 1, boardConfig(address))->init();
        producer->removeDevice(PhidgetDevice::s_typeName, 1);
    }
    QCOMPARE(netCalls(),
        QStringList({net("start", "127.0.0.49"), net("add", "127.0.0.49"),
            net("disable", "127.0.0.49"), net("stop"), net("start", "::1"), net("add", "::1"),
            net("disable", "::1"), net("stop")}));
    QVERIFY(capture.texts().isEmpty());
}

void TestPhidgetRuntime::opensKnownChannelsWithTheirAddressing()
{
    const PhidgetInstances instances;
    Show *const producer = &instances.producer();
    PhidgetDeviceConfig config = boardConfig("127.0.0.41",
        {{1, phidgetChannel(LM_DIGITAL_INPUT, -1)},
            {2, phidgetChannel(LM_PhidgetChannelType(0), 1)},
            {3, phidgetChannel(LM_PhidgetChannelType(7), 1)},
            {4, phidgetChannel(LM_ENCODER, 0, 0, true)},
            {5, phidgetChannel(LM_DIGITAL_OUTPUT, 2)}});
    PhidgetDevice *device = addPhidgetDevice(*producer, 1, config);
    MessageCapture capture;
    device->init();

    // In id order; -1 leaves a property unset, 0 sets it; types 0 and 7 are skipped quietly.
    const QStringList handlers {
        "Phidget_setOnAttachHandler", "Phidget_setOnDetachHandler", "Phidget_setOnErrorHandler"};
    const QStringList tail {"Phidget_setIsHubPortDevice", "Phidget_setIsRemote",
        "Phidget_setServerName", "Phidget_open"};
    QCOMPARE(simCalls({}, true).mid(2),
        QStringList({"PhidgetDigitalInput_create", "PhidgetDigitalInput_setOnStateChangeHandler"})
            + handlers + tail
            + QStringList({"PhidgetEncoder_create", "PhidgetEncoder_setOnPositionChangeHandler"})
            + handlers + QStringList({"Phidget_setHubPort", "Phidget_setChannel"}) + tail
            + QStringList({"PhidgetDigitalOutput_create"}) + handlers
            + QStringList({"Phidget_setChannel"}) + tail);
    QStringList setters = simCalls({"Phidget_setHubPort", "Phidget_setChannel",
        "Phidget_setIsHubPortDevice", "Phidget_setIsRemote"});
    setters.replaceInStrings(QRegularExpression("0x[0-9a-f]+"), "P");
    QCOMPARE(setters,
        QStringList({"Phidget_setIsHubPortDevice(P, 0)", "Phidget_setIsRemote(P, 1)",
            "Phidget_setHubPort(P, 0)", "Phidget_setChannel(P, 0)",
            "Phidget_setIsHubPortDevice(P, 1)", "Phidget_setIsRemote(P, 1)",
            "Phidget_setChannel(P, 2)", "Phidget_setIsHubPortDevice(P, 0)",
            "Phidget_setIsRemote(P, 1)"}));
    const PhidgetDevice::Runtime *runtime = device->runtime();
    QVERIFY(runtime->channelHandle(1) && runtime->channelHandle(4, LM_ENCODER));
    QVERIFY(!runtime->channelHandle(2) && !runtime->channelHandle(3));
    QVERIFY(!runtime->channelHandle(4, LM_DIGITAL_INPUT));
    QVERIFY(capture.texts().isEmpty());

    // Serial 0 is set. Re-init closes, deletes and releases before starting again.
    config.serialNumber = 0;
    device->setConfig(config);
    lmsim_phidget_log_clear();
    device->init();
    QCOMPARE(simCalls({"Phidget_setDeviceSerialNumber"}, true).size(), 3);
    QCOMPARE(simCalls({}, true).mid(0, 9),
        QStringList({"Phidget_close", "PhidgetDigitalInput_delete", "Phidget_close",
            "PhidgetEncoder_delete", "Phidget_close", "PhidgetDigitalOutput_delete",
            "PhidgetNet_disableServer", "PhidgetNet_stopServer", "PhidgetNet_startServer"}));
    producer->removeDevice(PhidgetDevice::s_typeName, 1);
    QCOMPARE(lmsim_phidget_live_handles(), 0);
}

void TestPhidgetRuntime::channelsAttachOnlyBehindTheirOwnServer()
{
    // Any serial on both devices; the producer's board has the lower serial, which an open
    // without a server name would take for both.
    const std::pair<int32_t, const char *> boards[] = {{4300, "127.0.0.43"}, {4400, "127.0.0.44"}};
    for (const auto &[serial, machine] : boards) {
        lmsim_phidget_board_create(serial, 0);
        lmsim_phidget_board_add_channels(serial, PHIDCHCLASS_DIGITALINPUT, -1, 1, 0);
        lmsim_phidget_board_attach(serial, machine);
    }
    PhidgetServerHandle mediaServerProcess = nullptr; // the server of media server 4's process
    QCOMPARE(PhidgetNet_startServer(0, AF_INET, "Lumora Phidget Server 127.0.0.44", "127.0.0.44",
                 5661, "", &mediaServerProcess),
        int(EPHIDGET_OK));
    const PhidgetInstances instances;
    Show *const producer = &instances.producer();
    producer->addMediaServer(std::make_unique<Screen>(4, QStringLiteral("MS4"), "127.0.0.44"));
    const PhidgetChannelMap channels {{1, phidgetChannel(LM_DIGITAL_INPUT, 0)}};
    PhidgetDevice *devices[] = {addPhidgetDevice(*producer, 1, boardConfig("127.0.0.43", channels)),
        addPhidgetDevice(*producer, 2, {-1, 4, QString(), channels})};
    QSignalSpy onProducer(devices[0], &PhidgetDevice::digitalInputChanged);
    QSignalSpy onMediaServer(devices[1], &PhidgetDevice::digitalInputChanged);
    for (PhidgetDevice *device : devices) {
        device->init();
        QTRY_COMPARE(lmsim_phidget_is_attached(device->runtime()->channelHandle(1)), 1);
    }
    QStringList names = simCalls({"Phidget_setServerName"});
    names.replaceInStrings(QRegularExpression("0x[0-9a-f]+"), "P");
    QCOMPARE(names,
        QStringList({"Phidget_setServerName(P, \"Lumora Phidget Server 127.0.0.43\")",
            "Phidget_setServerName(P, \"Lumora Phidget Server 127.0.0.44\")"}));
    deliverEvents();
    onProducer.clear();
    onMediaServer.clear();

    lmsim_phidget_set_digital_input(4400, -1, 0, 1);
    deliverEvents();
    QCOMPARE(onProducer.count(), 0);
    QCOMPARE(onMediaServer.count(), 1);
    lmsim_phidget_set_digital_input(4300, -1, 0, 1);
    deliverEvents();
    QCOMPARE(onProducer.count(), 1);
    QCOMPARE(onMediaServer.count(), 1);

    // Its failure is reported like the other setters' and leaves the channel closed.
    MessageCapture capture;
    lmsim_phidget_fail_call("Phidget_setServerName", EPHIDGET_INVALIDARG, 1);
    PhidgetDeviceConfig renamed = devices[1]->config();
    renamed.channels[1].name = QStringLiteral("Door");
    devices[1]->setConfig(renamed);
    devices[1]->init();
    QVERIFY(!devices[1]->runtime()->channelHandle(1));
    QCOMPARE(capture.texts(),
        QStringList {MessageCapture::failure("Phidget_setServerName", EPHIDGET_INVALIDARG)});
    for (int number : {1, 2})
        producer->removeDevice(PhidgetDevice::s_typeName, number);
}

void TestPhidgetRuntime::invalidServers()
{
    const PhidgetInstances instances;
    Show *const producer = &instances.producer();
    PhidgetDeviceConfig config
        = boardConfig("board.local", {{1, phidgetChannel(LM_DIGITAL_INPUT, 0)}});
    addPhidgetDevice(*producer, 1, config, "Named");
    config.producerServerAddress.clear();
    addPhidgetDevice(*producer, 2, config, "Empty");
    config.mediaServerId = 7;
    addPhidgetDevice(*producer, 3, config, "Gone");

    MessageCapture capture;
    for (Device *device : producer->allDevices())
        device->init();
    QList<QtMsgType> types;
    QCOMPARE(capture.texts(&types),
        QStringList({"[PHIDGET] Invalid Phidget server address for device Named : board.local",
            "[PHIDGET] Invalid Phidget server address for device Empty : ",
            "[PHIDGET] Invalid Phidget server for device Gone"}));
    QCOMPARE(types, QList<QtMsgType>(3, QtWarningMsg));
    for (int number : {1, 2, 3})
        producer->removeDevice(PhidgetDevice::s_typeName, number);
    QVERIFY(simCalls().isEmpty()); // nothing opened, nothing released
}

void TestPhidgetRuntime::failedCallsAreReported()
{
    const int32_t serial = 4100;
    lmsim_phidget_board_create(serial, 0);
    lmsim_phidget_board_add_channels(serial, PHIDCHCLASS_ENCODER, -1, 1, 0);
    lmsim_phidget_board_add_channels(serial, PHIDCHCLASS_DIGITALOUTPUT, -1, 1, 0);
    lmsim_phidget_board_attach(serial, "127.0.0.42");
    const PhidgetInstances instances;
    Show *const producer = &instances.producer();
    PhidgetDevice *device = addPhidgetDevice(*producer, 1,
        {serial, 0, "127.0.0.42",
            {{1, phidgetChannel(LM_DIGITAL_INPUT, 0)}, {2, phidgetChannel(LM_ENCODER, 0)},
                {3, phidgetChannel(LM_DIGITAL_OUTPUT, 0)}, {4, phidgetChannel(LM_ENCODER, 0)},
                {5, phidgetChannel(LM_DIGITAL_OUTPUT, 0)}}});
    QSignalSpy moved(device, &PhidgetDevice::encoderPositionChanged);

    // The create of 1, the handler of 2 and the open of 3 fail; those handles are deleted.
    MessageCapture capture;
    lmsim_phidget_fail_call("PhidgetDigitalInput_create", EPHIDGET_NOMEMORY, 1);
    lmsim_phidget_fail_call("PhidgetEncoder_setOnPositionChangeHandler", EPHIDGET_INVALIDARG, 1);
    lmsim_phidget_fail_call("Phidget_open", EPHIDGET_IO, 1);
    device->init();
    const PhidgetDevice::Runtime *runtime = device->runtime();
    QVERIFY(!runtime->channelHandle(1) && !runtime->channelHandle(2) && !runtime->channelHandle(3));
    QVERIFY(runtime->channelHandle(4) && runtime->channelHandle(5));
    QCOMPARE(lmsim_phidget_live_handles(), 2);

    // An encoder event whose position read fails emits nothing.
    QTRY_COMPARE(lmsim_phidget_is_attached(runtime->channelHandle(4)), 1);
    lmsim_phidget_fail_call("PhidgetEncoder_getPosition", EPHIDGET_NOTATTACHED, 1);
    lmsim_phidget_turn_encoder(serial, -1, 0, 3);
    lmsim_phidget_turn_encoder(serial, -1, 0, 2);
    deliverEvents();
    QCOMPARE(moved.count(), 1);
    QCOMPARE(moved.first().at(1).value<int64_t>(), int64_t(5));

    // A write that fails in its completion handler; a close that fails (the delete goes on).
    lmsim_phidget_fail_call("PhidgetDigitalOutput_setState_async", EPHIDGET_TIMEOUT, 1);
    PhidgetDigitalOutput_setState_async(
        reinterpret_cast<PhidgetDigitalOutputHandle>(runtime->channelHandle(5)), 1, setStateDone,
        nullptr);
    deliverEvents();
    lmsim_phidget_fail_call("Phidget_close", EPHIDGET_CLOSED, 1);
    producer->removeDevice(PhidgetDevice::s_typeName, 1);
    QCOMPARE(lmsim_phidget_live_handles(), 0);

    QStringList expected;
    for (const auto &[call, code] : {std::pair {"PhidgetDigitalInput_create", EPHIDGET_NOMEMORY},
             {"PhidgetEncoder_setOnPositionChangeHandler", EPHIDGET_INVALIDARG},
             {"Phidget_open", EPHIDGET_IO}, {"PhidgetEncoder_getPosition", EPHIDGET_NOTATTACHED},
             {"PhidgetDigitalOutput_setState_async", EPHIDGET_TIMEOUT},
             {"Phidget_close", EPHIDGET_CLOSED}})
        expected << MessageCapture::failure(call, code);
    QList<QtMsgType> types;
    QCOMPARE(capture.texts(&types), expected);
    QCOMPARE(types, QList<QtMsgType>(6, QtInfoMsg));
}

void TestPhidgetRuntime::contextIdsAreDistinctAndNeverReused()
{
    PhidgetDevice first(true), second(true);
    const auto a = reinterpret_cast<PhidgetHandle>(quintptr(0x1000));
    const auto b = reinterpret_cast<PhidgetHandle>(quintptr(0x2000));
    auto one
        = std::make_unique<PhidgetDevice::Runtime>(&first, -1, 0, QString(), PhidgetChannelMap());
    PhidgetDevice::Runtime two(&second, -1, 0, QString(), {});
    const int32_t idA = one->registerChannelContext(a, 1);
    QCOMPARE(one->registerChannelContext(a, 1), idA);
    const int32_t idB = one->registerChannelContext(b, 2);
    const int32_t idOther = two.registerChannelContext(a, 1); // same handle, other device
    QVERIFY(idA >= 0 && idB > idA && idOther > idB);
    one.reset();
    PhidgetDevice::Runtime three(&first, -1, 0, QString(), {});
    QVERIFY(three.registerChannelContext(a, 1) > idOther);
}

QTEST_MAIN(TestPhidgetRuntime)
#include "tst_phidget_runtime.moc"
