// Runtimes are made and destroyed over and over on the host's thread while the simulated board
// toggles an input and turns two encoders from three threads. No emission may reach a device
// whose runtime is gone, and while a runtime lives its events must arrive complete and in
// order. About five seconds; meant for ThreadSanitizer builds too.
#include "phidget_test_support.h"

#include <QElapsedTimer>

#include <atomic>
#include <set>
#include <thread>

namespace {
const int32_t kSerial = 7000;
const char kAddress[] = "127.0.0.60";

std::mutex s_deadMutex;
std::set<const void *> s_dead; // devices whose runtime is gone
std::atomic<int> s_lateEmissions {0};

// Per channel id 1 (input), 2 and 3 (encoders turned by +1): the last value, and the number of
// missing (gaps) or repeated, reordered or foreign events (disorders) seen on the host's thread.
struct Receiver : QObject
{
    explicit Receiver(PhidgetDevice *device)
    {
        connect(
            device, &PhidgetDevice::digitalInputChanged, this,
            [this](int id, bool state) {
                see(id, state, id != 1 ? -1 : state == last[1] ? 2 : 1);
            },
            Qt::QueuedConnection);
        connect(
            device, &PhidgetDevice::encoderPositionChanged, this,
            [this](int id, int64_t position, int change) {
                see(id, position, change == 1 && (id == 2 || id == 3) ? position - last[id] : -1);
            },
            Qt::QueuedConnection);
        // Direct on purpose: runs on Phidget22's thread, at the moment of emission.
        const auto probe = [device] {
            const std::lock_guard<std::mutex> lock(s_deadMutex);
            s_lateEmissions += int(s_dead.count(device));
        };
        connect(device, &PhidgetDevice::digitalInputChanged, device, probe, Qt::DirectConnection);
        connect(
            device, &PhidgetDevice::encoderPositionChanged, device, probe, Qt::DirectConnection);
    }
    // `step`: how far the value moved, 1 when nothing was missed (a repeated level: 2).
    void see(int id, int64_t value, int64_t step)
    {
        if (id < 1 || id > 3 || (seen[id] && step < 1))
            ++disorders;
        else if (seen[id] && step > 1)
            ++gaps[id];
        last[id] = value;
        seen[id] = true;
        ++received;
    }

    int64_t last[4] = {};
    bool seen[4] = {};
    int gaps[4] = {};
    int received = 0, disorders = 0;
};

void spin(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}
} // namespace

class TestPhidgetStress : public QObject
{
    Q_OBJECT

private slots:
    void runtimesComeAndGoWhileEventsFire();
};

void TestPhidgetStress::runtimesComeAndGoWhileEventsFire()
{
    setLogMode(lmlog::Repetition); // the failing closes below would log every time
    lmsim_phidget_reset();
    lmsim_phidget_board_create(kSerial, 0);
    lmsim_phidget_board_add_channels(kSerial, PHIDCHCLASS_DIGITALINPUT, -1, 1, 0);
    lmsim_phidget_board_add_channels(kSerial, PHIDCHCLASS_ENCODER, -1, 2, 0);
    lmsim_phidget_board_attach(kSerial, kAddress);
    const PhidgetInstances instances;
    Show *const show = &instances.producer();
    const PhidgetDeviceConfig config {kSerial, 0, kAddress,
        {{1, phidgetChannel(LM_DIGITAL_INPUT, 0)}, {2, phidgetChannel(LM_ENCODER, 0)},
            {3, phidgetChannel(LM_ENCODER, 1)}}};

    std::atomic<bool> stop {false};
    std::vector<std::thread> board;
    for (int t = 0; t < 3; ++t) {
        board.emplace_back([t, &stop] {
            for (int i = 1; !stop; ++i) {
                if (t == 0)
                    lmsim_phidget_set_digital_input(kSerial, -1, 0, i & 1);
                else
                    lmsim_phidget_turn_encoder(kSerial, -1, t - 1, 1);
                if (i % 64 == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }

    QElapsedTimer elapsed;
    elapsed.start();
    int cycles = 0, received = 0, gaps = 0, disorders = 0, leaked = 0;
    for (; elapsed.elapsed() < 4000 && cycles < 400; ++cycles) {
        PhidgetDevice *device = addPhidgetDevice(*show, 1, config);
        {
            const std::lock_guard<std::mutex> lock(s_deadMutex);
            s_dead.erase(device); // a new device may take a freed one's address
        }
        // Past its runtime's teardown the device still has its connections: an emission
        // that comes late reaches the probe during this pause.
        connect(device, &QObject::destroyed, [device] {
            s_deadMutex.lock();
            s_dead.insert(device);
            s_deadMutex.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        Receiver receiver(device);
        device->init();
        spin(cycles % 7);
        const bool replaced = cycles % 3 == 0;
        if (replaced) { // a second runtime while events fire (a changed setup restarts)
            PhidgetDeviceConfig renamed = config;
            renamed.channels[1].name = QStringLiteral("renamed");
            device->setConfig(renamed);
            device->init();
            spin(cycles % 5);
        }
        if (cycles % 10 == 5 && cycles < 80) {
            // Close and delete fail: the handles stay open and keep firing, so only the
            // runtime's teardown keeps their events from the device.
            lmsim_phidget_fail_call("Phidget_close", EPHIDGET_UNEXPECTED, 3);
            lmsim_phidget_fail_call("PhidgetDigitalInput_delete", EPHIDGET_UNEXPECTED, 1);
            lmsim_phidget_fail_call("PhidgetEncoder_delete", EPHIDGET_UNEXPECTED, 2);
            leaked += 3;
        }
        show->removeDevice(PhidgetDevice::s_typeName, 1);
        QCoreApplication::sendPostedEvents(&receiver);
        received += receiver.received;
        disorders += receiver.disorders;
        for (int channelGaps : receiver.gaps) // one gap per channel where the runtime changed
            gaps += qMax(0, channelGaps - int(replaced));
    }
    stop = true;
    for (std::thread &thread : board)
        thread.join();
    qInfo("%d cycles, %d events received, %lld ms", cycles, received, elapsed.elapsed());
    QCOMPARE(s_lateEmissions.load(), 0);
    QCOMPARE(disorders, 0);
    QCOMPARE(gaps, 0);
    QVERIFY(received > 0);
    QCOMPARE(lmsim_phidget_live_handles(), leaked);
    lmsim_phidget_reset();
}

QTEST_GUILESS_MAIN(TestPhidgetStress)
#include "tst_phidget_stress.moc"
