// The Phidget22 stand-in as the plug-in uses it: attachment through server, client entry and
// board, handler threads, close semantics, failure injection and the call log.
#include "child_exit.h"
#include "phidget22_sim.h"

#include <QRegularExpression>
#include <QtTest>

// The platform's own address family values (AF_INET6 is 23 on Windows, 10 on Linux).
#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

const char *const kAddress = "127.0.0.1";
const char *const kName = "Lumora Phidget Server 127.0.0.1";
constexpr int kPort = 5661;

// Handler calls as "attach", "detach", "state 1", "position 13 -2", "done 52", with the thread.
struct Recorder
{
    std::mutex mutex;
    std::vector<std::pair<QString, std::thread::id>> calls;

    void add(const QString &text)
    {
        std::lock_guard<std::mutex> lock(mutex);
        calls.emplace_back(text, std::this_thread::get_id());
    }
    QStringList take()
    {
        QStringList texts;
        if (lmsim_phidget_wait_idle(5000) != EPHIDGET_OK)
            texts << "HANDLERS DID NOT DRAIN";
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto &c : calls) {
            texts << c.first;
            if (c.second == std::this_thread::get_id())
                texts << "ON CALLER THREAD";
        }
        calls.clear();
        return texts;
    }
} g_rec;

void CCONV onAttach(PhidgetHandle, void *)
{
    g_rec.add("attach");
}
void CCONV onDetach(PhidgetHandle, void *)
{
    g_rec.add("detach");
}
void CCONV onError(PhidgetHandle, void *, Phidget_ErrorEventCode code, const char *text)
{
    g_rec.add(QString("error %1 %2").arg(int(code)).arg(text));
}
void CCONV onState(PhidgetDigitalInputHandle, void *, int state)
{
    g_rec.add(QString("state %1").arg(state));
}
void CCONV onPosition(PhidgetEncoderHandle ch, void *, int change, double, int)
{
    int64_t position = -1;
    PhidgetEncoder_getPosition(ch, &position);
    g_rec.add(QString("position %1 %2").arg(position).arg(change));
}
void CCONV onDone(PhidgetHandle, void *ctx, PhidgetReturnCode rc)
{
    g_rec.add(QString("done %1 ctx %2").arg(int(rc)).arg(reinterpret_cast<quintptr>(ctx)));
}

PhidgetHandle openChannel(
    Phidget_ChannelClass cls, int serial, int hubPort, int channel, int hubPortDevice = 0)
{
    PhidgetHandle ch = nullptr;
    if (cls == PHIDCHCLASS_DIGITALINPUT) {
        PhidgetDigitalInputHandle in = nullptr;
        PhidgetDigitalInput_create(&in);
        PhidgetDigitalInput_setOnStateChangeHandler(in, onState, nullptr);
        ch = PhidgetHandle(in);
    } else if (cls == PHIDCHCLASS_ENCODER) {
        PhidgetEncoderHandle enc = nullptr;
        PhidgetEncoder_create(&enc);
        PhidgetEncoder_setOnPositionChangeHandler(enc, onPosition, nullptr);
        ch = PhidgetHandle(enc);
    } else {
        PhidgetDigitalOutputHandle out = nullptr;
        PhidgetDigitalOutput_create(&out);
        ch = PhidgetHandle(out);
    }
    Phidget_setOnAttachHandler(ch, onAttach, nullptr);
    Phidget_setOnDetachHandler(ch, onDetach, nullptr);
    Phidget_setOnErrorHandler(ch, onError, nullptr);
    if (serial != -1)
        Phidget_setDeviceSerialNumber(ch, serial);
    if (hubPort != -1)
        Phidget_setHubPort(ch, hubPort);
    if (channel != -1)
        Phidget_setChannel(ch, channel);
    Phidget_setIsHubPortDevice(ch, hubPortDevice);
    Phidget_setIsRemote(ch, 1);
    Phidget_open(ch);
    return ch;
}

// Board 1001: four inputs, two outputs, one encoder. Board 2002: VINT hub, port 0 in digital
// input mode, a two-input VINT device on port 3.
void addBoards()
{
    QCOMPARE(lmsim_phidget_board_create(1001, 0), 0);
    QCOMPARE(lmsim_phidget_board_add_channels(1001, PHIDCHCLASS_DIGITALINPUT, -1, 4, 0), 0);
    QCOMPARE(lmsim_phidget_board_add_channels(1001, PHIDCHCLASS_DIGITALOUTPUT, -1, 2, 0), 0);
    QCOMPARE(lmsim_phidget_board_add_channels(1001, PHIDCHCLASS_ENCODER, -1, 1, 0), 0);
    QCOMPARE(lmsim_phidget_board_attach(1001, kAddress), 0);
    QCOMPARE(lmsim_phidget_board_create(2002, 6), 0);
    QCOMPARE(lmsim_phidget_board_add_channels(2002, PHIDCHCLASS_DIGITALINPUT, 0, 1, 1), 0);
    QCOMPARE(lmsim_phidget_board_add_channels(2002, PHIDCHCLASS_DIGITALINPUT, 3, 2, 0), 0);
    QCOMPARE(lmsim_phidget_board_attach(2002, kAddress), 0);
}

// Deletes through the typed call and writes back what it left in the handle.
template<typename H>
PhidgetReturnCode deleteAs(PhidgetHandle &ch, PhidgetReturnCode (*del)(H *))
{
    H typed = H(ch);
    const PhidgetReturnCode rc = del(&typed);
    ch = PhidgetHandle(typed);
    return rc;
}

// The two boards, served and reachable: where most cases start.
PhidgetServerHandle serveBoards()
{
    addBoards();
    PhidgetServerHandle server = nullptr;
    PhidgetNet_startServer(0, 2, kName, kAddress, kPort, "", &server);
    PhidgetNet_addServer(kName, kAddress, kPort, "", 0);
    return server;
}

} // namespace

class TestPhidget22Sim : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        lmsim_phidget_reset();
        g_rec.take();
    }

    void attachNeedsClientServerAndBoard()
    {
        addBoards();
        PhidgetHandle ch = openChannel(PHIDCHCLASS_DIGITALINPUT, 1001, -1, 2);
        int state = -1;
        QCOMPARE(PhidgetDigitalInput_getState(PhidgetDigitalInputHandle(ch), &state),
            EPHIDGET_NOTATTACHED);
        QCOMPARE(PhidgetNet_addServer(kName, kAddress, kPort, "", 0), EPHIDGET_OK);
        PhidgetServerHandle other = nullptr;
        QCOMPARE(PhidgetNet_startServer(0, 2, "elsewhere", "127.0.0.2", kPort, "", &other), 0);
        QCOMPARE(g_rec.take(), QStringList());
        QCOMPARE(lmsim_phidget_is_attached(ch), 0);

        PhidgetServerHandle server = nullptr;
        QCOMPARE(PhidgetNet_startServer(0, 2, kName, kAddress, kPort, "", &server), 0);
        QVERIFY(server && server != other);
        // The vendor reports a digital input's level right after attach; never on our thread.
        QCOMPARE(g_rec.take(), QStringList({"attach", "state 0"}));
        QCOMPARE(PhidgetDigitalInput_getState(PhidgetDigitalInputHandle(ch), &state), 0);
        QCOMPARE(state, 0);
        QCOMPARE(PhidgetNet_startServer(0, 2, kName, kAddress, kPort, "", &other), EPHIDGET_BUSY);
    }

    void serverNameAndAddressFamily()
    {
        // Two boards behind two servers; without a server name the lower serial wins.
        for (const auto &[serial, machine] : {std::pair {3003, "127.0.0.3"}, {4004, "127.0.0.4"}}) {
            lmsim_phidget_board_create(serial, 0);
            lmsim_phidget_board_add_channels(serial, PHIDCHCLASS_DIGITALINPUT, -1, 1, 0);
            lmsim_phidget_board_attach(serial, machine);
            PhidgetServerHandle server = nullptr;
            QCOMPARE(PhidgetNet_startServer(0, AF_INET, machine, machine, kPort, "", &server), 0);
            QCOMPARE(PhidgetNet_addServer(machine, machine, kPort, "", 0), 0);
        }
        PhidgetDigitalInputHandle named = nullptr;
        PhidgetDigitalInput_create(&named);
        PhidgetDigitalInput_setOnStateChangeHandler(named, onState, nullptr);
        Phidget_setIsRemote(PhidgetHandle(named), 1);
        QCOMPARE(Phidget_setServerName(PhidgetHandle(named), "127.0.0.4"), 0);
        Phidget_open(PhidgetHandle(named));
        PhidgetHandle any = openChannel(PHIDCHCLASS_DIGITALINPUT, -1, -1, -1);
        g_rec.take();
        lmsim_phidget_set_digital_input(4004, -1, 0, 1);
        QCOMPARE(g_rec.take(), QStringList {"state 1"});
        lmsim_phidget_set_digital_input(3003, -1, 0, 1);
        QCOMPARE(g_rec.take(), QStringList {"state 1"});
        QCOMPARE(lmsim_phidget_is_attached(any), 1);
        QCOMPARE(Phidget_setServerName(PhidgetHandle(named), nullptr), EPHIDGET_BUSY);
        // The entry of that name disabled: the named channel does not fall back to another.
        PhidgetNet_disableServer("127.0.0.4", 0);
        QCOMPARE(lmsim_phidget_is_attached(PhidgetHandle(named)), 0);

        // A server listens on its address's own family.
        PhidgetServerHandle server = nullptr;
        QCOMPARE(PhidgetNet_startServer(0, AF_INET, "v6", "::1", kPort, "", &server),
            EPHIDGET_INVALIDARG);
        QCOMPARE(PhidgetNet_startServer(0, AF_INET6, "v4", "127.0.0.5", kPort, "", &server),
            EPHIDGET_INVALIDARG);
        QCOMPARE(PhidgetNet_startServer(0, AF_INET6, "v6", "::1", kPort, "", &server), 0);
    }

    void matchingRules_data()
    {
        QTest::addColumn<int>("cls");
        QTest::addColumn<int>("serial");
        QTest::addColumn<int>("hubPort");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("hubPortDevice");
        QTest::addColumn<QList<int>>("probe"); // serial, port, channel it attached to
        const int di = PHIDCHCLASS_DIGITALINPUT;
        QTest::newRow("unset serial and channel")
            << di << -1 << -1 << -1 << 0 << QList<int> {1001, -1, 0};
        QTest::newRow("serial and channel")
            << di << 1001 << -1 << 3 << 0 << QList<int> {1001, -1, 3};
        QTest::newRow("serial 0 is a serial") << di << 0 << -1 << -1 << 0 << QList<int>();
        QTest::newRow("absent channel") << di << 1001 << -1 << 4 << 0 << QList<int>();
        QTest::newRow("hub port on a plain board") << di << 1001 << 0 << 0 << 0 << QList<int>();
        QTest::newRow("hub port mode") << di << 2002 << 0 << 0 << 1 << QList<int> {2002, 0, 0};
        QTest::newRow("hub port mode not asked") << di << 2002 << 0 << 0 << 0 << QList<int>();
        QTest::newRow("device on hub port") << di << 2002 << 3 << 1 << 0 << QList<int> {2002, 3, 1};
        QTest::newRow("device port in port mode") << di << 2002 << 3 << 0 << 1 << QList<int>();
        QTest::newRow("unset hub port") << di << 2002 << -1 << 1 << 0 << QList<int> {2002, 3, 1};
        QTest::newRow("other class")
            << int(PHIDCHCLASS_ENCODER) << 2002 << -1 << -1 << 0 << QList<int>();
    }

    void matchingRules()
    {
        QFETCH(int, cls);
        QFETCH(int, serial);
        QFETCH(int, hubPort);
        QFETCH(int, channel);
        QFETCH(int, hubPortDevice);
        QFETCH(QList<int>, probe);
        serveBoards();
        PhidgetHandle ch
            = openChannel(Phidget_ChannelClass(cls), serial, hubPort, channel, hubPortDevice);
        QCOMPARE(lmsim_phidget_is_attached(ch), probe.isEmpty() ? 0 : 1);
        g_rec.take();
        if (!probe.isEmpty()) {
            QCOMPARE(lmsim_phidget_set_digital_input(probe[0], probe[1], probe[2], 1), 0);
            QCOMPARE(g_rec.take(), QStringList {"state 1"});
        }
    }

    void detachesAndReattaches()
    {
        PhidgetServerHandle server = serveBoards();
        PhidgetHandle ch = openChannel(PHIDCHCLASS_DIGITALINPUT, 1001, -1, 0);
        PhidgetHandle twin = openChannel(PHIDCHCLASS_DIGITALINPUT, 1001, -1, 0);
        QCOMPARE(g_rec.take(), QStringList({"attach", "state 0", "attach", "state 0"}));
        lmsim_phidget_set_digital_input(1001, -1, 0, 1);
        QCOMPARE(g_rec.take(), QStringList({"state 1", "state 1"})); // remote channels share
        QCOMPARE(deleteAs(twin, PhidgetDigitalInput_delete), EPHIDGET_OK);
        const QStringList cycle({"detach", "attach", "state 1"});

        QCOMPARE(lmsim_phidget_board_remove(1001), 0);
        int state = -1;
        QCOMPARE(PhidgetDigitalInput_getState(PhidgetDigitalInputHandle(ch), &state),
            EPHIDGET_NOTATTACHED);
        QCOMPARE(lmsim_phidget_board_attach(1001, kAddress), 0);
        QCOMPARE(g_rec.take(), cycle);

        QCOMPARE(lmsim_phidget_set_server_alive(kAddress, kPort, 0), 0);
        QCOMPARE(lmsim_phidget_is_attached(ch), 0);
        QCOMPARE(lmsim_phidget_set_server_alive(kAddress, kPort, 1), 0);
        QCOMPARE(g_rec.take(), cycle);

        QCOMPARE(PhidgetNet_disableServer(kName, 0), 0);
        QCOMPARE(lmsim_phidget_is_attached(ch), 0);
        QCOMPARE(PhidgetNet_enableServer(kName), 0);
        QCOMPARE(g_rec.take(), cycle);

        QCOMPARE(PhidgetNet_stopServer(&server), 0);
        QVERIFY(!server);
        QCOMPARE(PhidgetNet_stopServer(&server), EPHIDGET_INVALIDARG);
        QCOMPARE(PhidgetNet_startServer(0, 2, kName, kAddress, kPort, "", &server), 0);
        QCOMPARE(g_rec.take(), cycle);

        // A board moved to another machine is out of reach of this server.
        lmsim_phidget_board_remove(1001);
        lmsim_phidget_board_attach(1001, "127.0.0.3");
        QCOMPARE(g_rec.take(), QStringList {"detach"});
    }

    void eventsInOrderAndEncoderPosition()
    {
        serveBoards();
        PhidgetHandle in = openChannel(PHIDCHCLASS_DIGITALINPUT, 1001, -1, 1);
        PhidgetHandle enc = openChannel(PHIDCHCLASS_ENCODER, 1001, -1, 0);
        g_rec.take();
        for (int s : {1, 1, 0, 1})
            lmsim_phidget_set_digital_input(1001, -1, 1, s);
        QCOMPARE(g_rec.take(), QStringList({"state 1", "state 0", "state 1"}));

        // Inside the handler the position already includes that event's change.
        for (int turn : {5, -2, 10})
            QCOMPARE(lmsim_phidget_turn_encoder(1001, -1, 0, turn), 0);
        QCOMPARE(g_rec.take(), QStringList({"position 5 5", "position 3 -2", "position 13 10"}));
        lmsim_phidget_board_remove(1001);
        lmsim_phidget_turn_encoder(1001, -1, 0, 7);
        int64_t position = 0;
        QCOMPARE(
            PhidgetEncoder_getPosition(PhidgetEncoderHandle(enc), &position), EPHIDGET_NOTATTACHED);
        lmsim_phidget_board_attach(1001, kAddress);
        QCOMPARE(PhidgetEncoder_getPosition(PhidgetEncoderHandle(enc), &position), 0);
        QCOMPARE(position, int64_t(20));
        QCOMPARE(lmsim_phidget_get_encoder_position(1001, -1, 0, &position), 0);
        QCOMPARE(position, int64_t(20));
        QCOMPARE(
            PhidgetEncoder_getPosition(PhidgetEncoderHandle(in), &position), EPHIDGET_WRONGDEVICE);

        g_rec.take();
        lmsim_phidget_raise_error(1001, PHIDCHCLASS_ENCODER, -1, 0, EEPHIDGET_OVERRUN, "late");
        QCOMPARE(g_rec.take(), QStringList {QString("error %1 late").arg(int(EEPHIDGET_OVERRUN))});
    }

    void asyncOutputCompletes()
    {
        serveBoards();
        PhidgetHandle out = openChannel(PHIDCHCLASS_DIGITALOUTPUT, 1001, -1, 1);
        PhidgetHandle stray = openChannel(PHIDCHCLASS_DIGITALOUTPUT, 1001, -1, 9);
        g_rec.take();
        auto dout = [](PhidgetHandle h) { return PhidgetDigitalOutputHandle(h); };
        int state = -1;

        PhidgetDigitalOutput_setState_async(dout(out), 1, onDone, reinterpret_cast<void *>(7));
        PhidgetDigitalOutput_setState_async(dout(stray), 1, onDone, nullptr);
        QCOMPARE(g_rec.take(), QStringList({"done 0 ctx 7", "done 52 ctx 0"}));
        QCOMPARE(lmsim_phidget_get_digital_output(1001, -1, 1, &state), 0);
        QCOMPARE(state, 1);

        QCOMPARE(
            lmsim_phidget_fail_call("PhidgetDigitalOutput_setState_async", EPHIDGET_TIMEOUT, 1), 0);
        PhidgetDigitalOutput_setState_async(dout(out), 0, onDone, nullptr);
        PhidgetDigitalOutput_setState_async(dout(out), 0, nullptr, nullptr);
        QCOMPARE(g_rec.take(), QStringList {"done 3 ctx 0"});
        QCOMPARE(lmsim_phidget_get_digital_output(1001, -1, 1, &state), 0);
        QCOMPARE(state, 0); // the second write, without a handler, went through
    }

    void closeAndDelete()
    {
        serveBoards();
        // A handler in progress finishes before close returns; nothing is delivered after.
        static std::atomic<int> calls {0};
        static std::atomic<bool> inside {false};
        static std::atomic<bool> finished {false};
        calls = 0;
        inside = false;
        finished = false;
        PhidgetHandle ch = openChannel(PHIDCHCLASS_DIGITALINPUT, 1001, -1, 2);
        g_rec.take();
        PhidgetDigitalInput_setOnStateChangeHandler(
            PhidgetDigitalInputHandle(ch),
            [](PhidgetDigitalInputHandle, void *, int) {
                if (calls++ == 0) {
                    inside = true;
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    finished = true;
                }
            },
            nullptr);
        for (int i = 0; i < 20; ++i)
            lmsim_phidget_set_digital_input(1001, -1, 2, (i + 1) % 2);
        while (!inside)
            std::this_thread::yield();
        QCOMPARE(Phidget_close(ch), EPHIDGET_OK);
        QVERIFY(finished);
        const int atClose = calls;
        lmsim_phidget_wait_idle(5000);
        QCOMPARE(calls.load(), atClose);
        QCOMPARE(atClose, 1);

        // Closing from inside its own handler does not deadlock.
        Phidget_setOnAttachHandler(
            ch, [](PhidgetHandle self, void *) { g_rec.add(QString::number(Phidget_close(self))); },
            nullptr);
        Phidget_open(ch);
        QCOMPARE(g_rec.take(), QStringList {"0"});
        QCOMPARE(lmsim_phidget_is_attached(ch), 0);

        int state = 0;
        QCOMPARE(PhidgetDigitalInput_getState(PhidgetDigitalInputHandle(ch), &state),
            EPHIDGET_NOTATTACHED);
        PhidgetHandle stale = ch;
        QCOMPARE(deleteAs(ch, PhidgetDigitalOutput_delete), EPHIDGET_WRONGDEVICE);
        QCOMPARE(deleteAs(ch, PhidgetDigitalInput_delete), EPHIDGET_OK);
        QVERIFY(!ch);
        QCOMPARE(deleteAs(ch, PhidgetDigitalInput_delete), EPHIDGET_INVALIDARG);
        QCOMPARE(Phidget_open(stale), EPHIDGET_INVALIDARG);
        QCOMPARE(PhidgetDigitalInput_getState(PhidgetDigitalInputHandle(stale), &state),
            EPHIDGET_INVALIDARG);
        QCOMPARE(lmsim_phidget_is_attached(stale), -1);
        QCOMPARE(lmsim_phidget_live_handles(), 0);
    }

    // A process that exits while a handler runs on the dispatcher ends: the handler gets 2 s,
    // then it is left behind. Not on Windows, where the system has ended the dispatcher before
    // the library's destructors run: nothing is waited for there.
    void exitWhileAHandlerRuns()
    {
        if (ChildExit::isChild()) {
            serveBoards();
            PhidgetHandle ch = openChannel(PHIDCHCLASS_DIGITALINPUT, 1001, -1, 1);
            static std::atomic<bool> inside {false};
            PhidgetDigitalInput_setOnStateChangeHandler(
                PhidgetDigitalInputHandle(ch),
                [](PhidgetDigitalInputHandle, void *, int) {
                    inside = true;
                    for (;;)
                        std::this_thread::sleep_for(std::chrono::seconds(1));
                },
                nullptr);
            lmsim_phidget_set_digital_input(1001, -1, 1, 1);
            while (!inside)
                std::this_thread::yield();
            ChildExit::exitNow();
        }
        const qint64 ms = ChildExit::millisecondsToExit("exitWhileAHandlerRuns");
        QVERIFY(ms >= 0);
#ifdef _WIN32
        QVERIFY2(ms < 1500, QByteArray::number(ms).constData());
#else
        QVERIFY2(ms >= 1900, QByteArray::number(ms).constData());
#endif
    }

    void failureInjectionLogAndDescriptions()
    {
        QCOMPARE(lmsim_phidget_fail_call("Phidget_opne", EPHIDGET_TIMEOUT, 1), EPHIDGET_INVALIDARG);
        QCOMPARE(lmsim_phidget_fail_call("PhidgetNet_addServer", EPHIDGET_NETUNAVAIL, 2), 0);
        QCOMPARE(PhidgetNet_addServer(kName, kAddress, kPort, "", 0), EPHIDGET_NETUNAVAIL);
        QCOMPARE(PhidgetNet_addServer(kName, kAddress, kPort, "", 0), EPHIDGET_NETUNAVAIL);
        QCOMPARE(PhidgetNet_addServer(kName, kAddress, kPort, "", 0), EPHIDGET_OK);
        QCOMPARE(PhidgetNet_addServer(kName, kAddress, kPort, "", 0), EPHIDGET_DUPLICATE);
        QCOMPARE(PhidgetNet_enableServer("no such server"), EPHIDGET_NOENT);

        lmsim_phidget_fail_call(
            "PhidgetDigitalInput_create", EPHIDGET_NOMEMORY, LMSIM_PHIDGET_FAIL_ALWAYS);
        PhidgetDigitalInputHandle in = nullptr;
        for (int i = 0; i < 3; ++i)
            QCOMPARE(PhidgetDigitalInput_create(&in), EPHIDGET_NOMEMORY);
        lmsim_phidget_fail_call("PhidgetDigitalInput_create", EPHIDGET_OK, 0);
        QCOMPARE(PhidgetDigitalInput_create(&in), EPHIDGET_OK);

        lmsim_phidget_log_clear();
        PhidgetNet_disableServer(kName, 0);
        Phidget_setChannel(PhidgetHandle(in), 3);
        const char *text = nullptr;
        QCOMPARE(Phidget_getErrorDescription(EPHIDGET_NOTATTACHED, &text), 0);
        QCOMPARE(QByteArray(text), QByteArray("Device not Attached"));
        // No code of that value, but one within the enumeration's range (no undefined value).
        QCOMPARE(Phidget_getErrorDescription(PhidgetReturnCode(100), &text), EPHIDGET_INVALIDARG);
        QByteArray log(lmsim_phidget_log_text(nullptr, 0), '\0');
        QCOMPARE(lmsim_phidget_log_text(log.data(), log.size() + 1), int(log.size()));
        const QString handle = QString::asprintf("0x%llx", quintptr(in));
        QCOMPARE(QString(log).split('\n'),
            QStringList({"PhidgetNet_disableServer(\"Lumora Phidget Server 127.0.0.1\", 0)",
                "Phidget_setChannel(" + handle + ", 3)",
                "Phidget_getErrorDescription(52, &\"Device not Attached\")",
                "Phidget_getErrorDescription(100, &?)", ""}));

        lmsim_phidget_reset();
        lmsim_phidget_log_clear();
        PhidgetNet_addServer(kName, kAddress, kPort, "", 0);
        char line[128];
        lmsim_phidget_log_text(line, sizeof line);
        QCOMPARE(QByteArray(line),
            QByteArray("PhidgetNet_addServer(\"Lumora Phidget Server 127.0.0.1\", \"127.0.0.1\", "
                       "5661, \"\", 0)\n"));
    }
};

QTEST_GUILESS_MAIN(TestPhidget22Sim)
#include "tst_phidget22_sim.moc"
