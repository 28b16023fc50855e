// Runtimes are created and destroyed over and over on the host's thread while the simulated
// board changes inputs and turns encoders from several threads. Checked: no emission reaches
// a destroyed device, and while a runtime lives its events arrive complete and in order.
// Bounded to a few seconds; meant for ThreadSanitizer builds too.
#include "phidget_test_support.h"

#include <LMLog.h>
#include <phidget22_sim.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {
const int32_t kSerial = 7000;
const char kAddress[] = "127.0.0.60";
const int kInputId = 1, kEncoderIds[] = {2, 3};

// Devices whose runtime is gone, as seen from Phidget22's thread.
std::mutex s_deadMutex;
std::set<const void *> s_dead;
std::atomic<int> s_emissionsOnDeadDevices {0};

void probe(const PhidgetDevice *device)
{
    const std::lock_guard<std::mutex> lock(s_deadMutex);
    if (s_dead.count(device))
        ++s_emissionsOnDeadDevices;
}

// Receives one device's events on the host's thread. Positions of a +1 encoder and states of
// a toggled input must be contiguous, except across a runtime's replacement.
class Receiver : public QObject
{
public:
    explicit Receiver(PhidgetDevice *device)
    {
        connect(
            device, &PhidgetDevice::digitalInputChanged, this,
            [this](int id, bool state) {
                if (id != kInputId)
                    ++disorders;
                else if (m_hasState && state == m_state)
                    ++gaps[0];
                m_state = state;
                m_hasState = true;
                ++received;
            },
            Qt::QueuedConnection);
        connect(
            device, &PhidgetDevice::encoderPositionChanged, this,
            [this](int id, int64_t position, int change) {
                const int index = id == kEncoderIds[0] ? 0 : id == kEncoderIds[1] ? 1 : -1;
                if (index < 0 || change != 1 || (m_last[index] >= 0 && position <= m_last[index]))
                    ++disorders;
                else if (m_last[index] >= 0 && position != m_last[index] + 1)
                    ++gaps[1 + index];
                m_last[index] = position;
                ++received;
            },
            Qt::QueuedConnection);
        // Direct on purpose: runs on Phidget22's thread, at the moment of emission.
        connect(
            device, &PhidgetDevice::digitalInputChanged, device,
            [device](int, bool) { probe(device); }, Qt::DirectConnection);
        connect(
            device, &PhidgetDevice::encoderPositionChanged, device,
            [device](int, int64_t, int) { probe(device); }, Qt::DirectConnection);
    }

    int received = 0;
    int gaps[3] = {0, 0, 0}; // missing events, per channel
    int disorders = 0; // a repeated, reordered or foreign event

private:
    bool m_state = false;
    bool m_hasState = false;
    int64_t m_last[2] = {-1, -1};
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
    // Warnings only: the failed closes below would log every time.
    QTemporaryDir logDir;
    LMLog(logDir.filePath(QStringLiteral("stress.log")), 1 << 20).setMode(lmlog::Repetition);
    lmsim_phidget_reset();
    lmsim_phidget_board_create(kSerial, 0);
    lmsim_phidget_board_add_channels(kSerial, PHIDCHCLASS_DIGITALINPUT, -1, 1, 0);
    lmsim_phidget_board_add_channels(kSerial, PHIDCHCLASS_ENCODER, -1, 2, 0);
    lmsim_phidget_board_attach(kSerial, kAddress);

    const NodeTypeRegistry registry = makePhidgetRegistry();
    const auto show = makeInstance(registry);
    PhidgetDeviceConfig config;
    config.serialNumber = kSerial;
    config.producerServerAddress = QLatin1String(kAddress);
    config.channels.insert(kInputId, phidgetChannel(LM_DIGITAL_INPUT, 0));
    config.channels.insert(kEncoderIds[0], phidgetChannel(LM_ENCODER, 0));
    config.channels.insert(kEncoderIds[1], phidgetChannel(LM_ENCODER, 1));

    std::atomic<bool> stop {false};
    std::atomic<long> fired {0};
    std::vector<std::thread> boards;
    for (int t = 0; t < 3; ++t) {
        boards.emplace_back([t, &stop, &fired] {
            for (int i = 1; !stop.load(std::memory_order_relaxed); ++i) {
                if (t == 0)
                    lmsim_phidget_set_digital_input(kSerial, -1, 0, i & 1);
                else
                    lmsim_phidget_turn_encoder(kSerial, -1, t - 1, 1);
                ++fired;
                if (i % 64 == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }

    QElapsedTimer elapsed;
    elapsed.start();
    int cycles = 0, received = 0, gaps = 0, disorders = 0, runtimes = 0, leaked = 0;
    while (elapsed.elapsed() < 4000 && cycles < 400) {
        ++cycles;
        PhidgetDevice *device = addPhidgetDevice(*show, 1, config);
        {
            const std::lock_guard<std::mutex> lock(s_deadMutex);
            s_dead.erase(device); // a new device may take a freed one's address
        }
        // The runtime is gone by now, but the device's connections are not: an emission that
        // comes late reaches the probe during this pause.
        connect(device, &QObject::destroyed, [device] {
            {
                const std::lock_guard<std::mutex> lock(s_deadMutex);
                s_dead.insert(device);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        auto *receiver = new Receiver(device);
        device->init();
        ++runtimes;
        spin(cycles % 7);
        if (cycles % 3 == 0) { // replace the runtime while events fire
            device->init();
            ++runtimes;
            spin(cycles % 5);
        }
        const int gapsAllowed = cycles % 3 == 0 ? 1 : 0;
        if (cycles % 10 == 5 && cycles < 80) {
            // Closing and deleting fail: the handles stay open and keep firing, so nothing
            // but the runtime's own teardown keeps their events from the freed device.
            lmsim_phidget_fail_call("Phidget_close", EPHIDGET_UNEXPECTED, 3);
            lmsim_phidget_fail_call("PhidgetDigitalInput_delete", EPHIDGET_UNEXPECTED, 1);
            lmsim_phidget_fail_call("PhidgetEncoder_delete", EPHIDGET_UNEXPECTED, 2);
            leaked += 3;
        }
        show->removeDevice(PhidgetDevice::s_typeName, 1);
        QCoreApplication::sendPostedEvents(receiver);
        received += receiver->received;
        disorders += receiver->disorders;
        // Per channel: one gap at most, where the runtime was replaced.
        for (int channelGaps : receiver->gaps)
            gaps += qMax(0, channelGaps - gapsAllowed);
        delete receiver;
    }
    stop = true;
    for (std::thread &board : boards)
        board.join();
    lmsim_phidget_wait_idle(5000);
    QCoreApplication::sendPostedEvents();

    qInfo("%d cycles, %d runtimes, %ld events fired, %d received, %lld ms", cycles, runtimes,
        fired.load(), received, qint64(elapsed.elapsed()));
    QCOMPARE(s_emissionsOnDeadDevices.load(), 0);
    QCOMPARE(disorders, 0);
    QCOMPARE(gaps, 0);
    QVERIFY(received > 0);
    QCOMPARE(lmsim_phidget_live_handles(), leaked);
    lmsim_phidget_reset();
}

QTEST_GUILESS_MAIN(TestPhidgetStress)
#include "tst_phidget_stress.moc"
