// The three Phidget nodes driven by a simulated board, on the producer (which hosts the board)
// and on media server 1 (which does not).
#include "phidget_controllers.h"
#include "phidget_runtime_p.h"
#include "phidget_test_support.h"

#include <QSignalSpy>

#include <atomic>
#include <thread>

namespace {
const int32_t kSerial = 5000;
const int kInput3 = 3, kInput4 = 4, kEncoder = 5, kOutput = 6;

// The board on machine `address`; the same device, started, on both instances.
struct Rig
{
    explicit Rig(const char *address)
    {
        lmsim_phidget_reset();
        lmsim_phidget_board_create(kSerial, 0);
        lmsim_phidget_board_add_channels(kSerial, PHIDCHCLASS_DIGITALINPUT, -1, 5, 0);
        lmsim_phidget_board_add_channels(kSerial, PHIDCHCLASS_DIGITALOUTPUT, -1, 1, 0);
        lmsim_phidget_board_add_channels(kSerial, PHIDCHCLASS_ENCODER, -1, 1, 0);
        lmsim_phidget_board_attach(kSerial, address);
        const PhidgetDeviceConfig config {kSerial, 0, address,
            {{kInput3, phidgetChannel(LM_DIGITAL_INPUT, 3)},
                {kInput4, phidgetChannel(LM_DIGITAL_INPUT, 4)},
                {kEncoder, phidgetChannel(LM_ENCODER, 0)},
                {kOutput, phidgetChannel(LM_DIGITAL_OUTPUT, 0)}}};
        for (Show *show : {producer, mediaServer})
            addPhidgetDevice(*show, 1, config)->init();
        ready();
    }
    // Attached, and the input levels reported on attach delivered.
    void ready()
    {
        const auto attached = [this] {
            for (int instance : {0, 1}) {
                const auto *device = instances.device<PhidgetDevice>(instance);
                for (int id : {kInput3, kInput4, kEncoder, kOutput}) {
                    if (lmsim_phidget_is_attached(device->runtime()->channelHandle(id)) != 1)
                        return false;
                }
            }
            return true;
        };
        QTRY_VERIFY(attached());
        deliverEvents();
    }
    static int output()
    {
        int state = -1;
        lmsim_phidget_get_digital_output(kSerial, -1, 0, &state);
        return state;
    }

    PhidgetInstances instances {1};
    Show *const producer = &instances.producer();
    Show *const mediaServer = &instances.mediaServer();
};

// Another kind of device that claims the Phidget type name.
class Impostor : public Device
{
public:
    Impostor()
        : Device(true)
    {
        m_typeName = PhidgetDevice::s_typeName;
        m_deviceNumber = 9;
    }
};

BoolData *valueOf(const INodeController *node)
{
    return node->outputData<BoolData>(0);
}
BoolData *userValueOf(const INodeController *node)
{
    return dynamic_cast<BoolData *>(node->inputValues().at(0).get());
}
} // namespace

class TestPhidgetControllers : public QObject
{
    Q_OBJECT

private slots:
    void inputFollowsItsChannelAndDrivesAnOutput();
    void encoder();
    void outputWritesOnlyFromTheHostingInstance();
    void rebindingDropsOldConnections();
    void teardownWaitsForWritesInFlight();
    void setupWithoutChangeFiresNothing();
};

void TestPhidgetControllers::inputFollowsItsChannelAndDrivesAnOutput()
{
    Rig rig("127.0.0.50");
    NodeGraph &graph = rig.producer->graph();
    auto *input = addChannelNode<PhidgetDigitalInputController>(*rig.producer, 1, kInput3);
    auto *output = addChannelNode<PhidgetDigitalOutputController>(*rig.producer, 1, kOutput);
    QVERIFY(graph.connectValue({input->node().id(), 0, output->node().id(), 0}));
    QVERIFY(graph.connectTrigger({input->node().id(), 0, output->node().id(), 0}));
    auto *remote = addChannelNode<PhidgetDigitalInputController>(*rig.mediaServer, 1, kInput3);
    QSignalSpy fired(&graph, &NodeGraph::outputTriggerFired);

    lmsim_phidget_set_digital_input(kSerial, -1, 4, 1);
    deliverEvents();
    QVERIFY(!valueOf(input)->defined);
    QCOMPARE(fired.count(), 0);
    // Input 3: "Value", "Changed", and through it the output node writes the value.
    lmsim_phidget_set_digital_input(kSerial, -1, 3, 1);
    deliverEvents();
    QVERIFY(valueOf(input)->defined && valueOf(input)->value);
    QCOMPARE(fired.count(), 1);
    deliverEvents();
    QCOMPARE(Rig::output(), 1);
    QVERIFY(valueOf(remote)->defined && valueOf(remote)->value); // the media server hears it

    // A node made now polls once; defined, it polls no more.
    auto *later = addChannelNode<PhidgetDigitalInputController>(*rig.producer, 1, kInput3);
    lmsim_phidget_log_clear();
    graph.evaluate();
    graph.evaluate();
    QVERIFY(valueOf(later)->defined && valueOf(later)->value);
    QCOMPARE(simCalls({"PhidgetDigitalInput_getState"}).size(), 1);

    // Detached: undefined, no trigger, and the next tick polls (quietly failing).
    lmsim_phidget_board_remove(kSerial);
    deliverEvents();
    QVERIFY(!valueOf(input)->defined && !valueOf(later)->defined);
    graph.evaluate();
    QVERIFY(!valueOf(input)->defined);
    QCOMPARE(simCalls({"PhidgetDigitalInput_getState"}).size(), 3);
    QCOMPARE(fired.count(), 1);
    // Back: the level reported on attach sets both and fires "Changed".
    lmsim_phidget_board_attach(kSerial, "127.0.0.50");
    rig.ready();
    QVERIFY(valueOf(input)->defined && valueOf(input)->value);
    QCOMPARE(fired.count(), 3);
}

void TestPhidgetControllers::encoder()
{
    Rig rig("127.0.0.51");
    auto *encoder = addChannelNode<PhidgetEncoderController>(*rig.producer, 1, kEncoder);
    QSignalSpy fired(&rig.producer->graph(), &NodeGraph::outputTriggerFired);
    // 2^32 + 5: "Position" shows the low 32 bits.
    for (int change : {2147483647, 2147483647, 7})
        lmsim_phidget_turn_encoder(kSerial, -1, 0, change);
    deliverEvents();
    QCOMPARE(fired.count(), 3);
    const IntData *position = encoder->outputData<IntData>(0);
    const IntData *change = encoder->outputData<IntData>(1);
    QVERIFY(position->defined && position->value == 5 && change->defined && change->value == 7);

    // A node made later polls the position; its change stays undefined.
    auto *later = addChannelNode<PhidgetEncoderController>(*rig.producer, 1, kEncoder);
    rig.producer->graph().evaluate();
    QVERIFY(later->outputData<IntData>(0)->value == 5 && !later->outputData<IntData>(1)->defined);

    lmsim_phidget_board_remove(kSerial);
    deliverEvents();
    QVERIFY(!position->defined && !change->defined);
    QCOMPARE(fired.count(), 3);
}

void TestPhidgetControllers::outputWritesOnlyFromTheHostingInstance()
{
    Rig rig("127.0.0.52");
    auto *remote = addChannelNode<PhidgetDigitalOutputController>(*rig.mediaServer, 1, kOutput);
    userValueOf(remote)->value = true;
    lmsim_phidget_log_clear();
    remote->onInputTrigger(0);
    deliverEvents();
    QVERIFY(simCalls({"PhidgetDigitalOutput_setState_async"}).isEmpty());
    // An accepted setup that moves the board to this media server applies at the next init:
    // until then the instance that started the server stays the only one that writes.
    auto *device = rig.instances.device<PhidgetDevice>(1);
    PhidgetDeviceConfig moved = device->config();
    moved.mediaServerId = 1;
    device->setConfig(moved);
    remote->onInputTrigger(0);
    deliverEvents();
    QVERIFY(simCalls({"PhidgetDigitalOutput_setState_async"}).isEmpty());

    // "Value" unconnected: the user default, true here, then false for a new node.
    auto *output = addChannelNode<PhidgetDigitalOutputController>(*rig.producer, 1, kOutput);
    userValueOf(output)->value = true;
    output->onInputTrigger(0);
    deliverEvents();
    QCOMPARE(Rig::output(), 1);
    addChannelNode<PhidgetDigitalOutputController>(*rig.producer, 1, kOutput)->onInputTrigger(0);
    deliverEvents();
    QCOMPARE(Rig::output(), 0);

    // An input channel, a channel not open, and a device that is no Phidget device: nothing.
    rig.producer->addDevice(new Impostor);
    lmsim_phidget_log_clear();
    for (const auto &[device, channel] : {std::pair {1, kInput3}, {1, 42}, {9, kOutput}})
        addChannelNode<PhidgetDigitalOutputController>(*rig.producer, device, channel)
            ->onInputTrigger(0);
    auto *impostorInput = addChannelNode<PhidgetDigitalInputController>(*rig.producer, 9, 0);
    rig.producer->graph().evaluate();
    QVERIFY(!valueOf(impostorInput)->defined);
    QVERIFY(simCalls().isEmpty());
}

void TestPhidgetControllers::rebindingDropsOldConnections()
{
    Rig rig("127.0.0.53");
    auto *input = addChannelNode<PhidgetDigitalInputController>(*rig.producer, 1, kInput3);
    QSignalSpy fired(&rig.producer->graph(), &NodeGraph::outputTriggerFired);
    input->propertyData<PhidgetChannelData>(0)->channelID = kInput4;
    input->onPropertyChanged(0);
    input->onPropertyChanged(0); // twice: still one connection
    lmsim_phidget_set_digital_input(kSerial, -1, 3, 1);
    lmsim_phidget_set_digital_input(kSerial, -1, 4, 1);
    deliverEvents();
    QCOMPARE(fired.count(), 1);
    // Cleared: unbound, outputs undefined.
    input->propertyData<PhidgetChannelData>(0)->defined = false;
    input->onPropertyChanged(0);
    lmsim_phidget_set_digital_input(kSerial, -1, 4, 0);
    deliverEvents();
    QVERIFY(!valueOf(input)->defined);
    QCOMPARE(fired.count(), 1);
}

void TestPhidgetControllers::teardownWaitsForWritesInFlight()
{
    Rig rig("127.0.0.54");
    auto *output = addChannelNode<PhidgetDigitalOutputController>(*rig.producer, 1, kOutput);
    userValueOf(output)->value = true;
    // Phidget22's thread is held in a handler of the other instance's device, so the write's
    // completion waits behind it while the producer's device goes.
    auto *device = rig.instances.device<PhidgetDevice>(1);
    static std::atomic<bool> inside;
    inside = false;
    connect(
        device, &PhidgetDevice::digitalInputChanged, device,
        [] {
            inside = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        },
        Qt::DirectConnection);
    lmsim_phidget_set_digital_input(kSerial, -1, 3, 1);
    while (!inside)
        std::this_thread::yield();
    MessageCapture capture;
    output->onInputTrigger(0);
    rig.producer->removeDevice(PhidgetDevice::s_typeName, 1);
    // Completed before the handle closed: the board took the value, nothing is left to call
    // into the plug-in, and nothing was reported.
    QCOMPARE(Rig::output(), 1);
    QVERIFY(capture.texts().isEmpty());
}

void TestPhidgetControllers::setupWithoutChangeFiresNothing()
{
    // OK in the setup dialog without a change: the host starts the device again on every
    // instance. The board did nothing, so no "Changed" fires and the value stays.
    Rig rig("127.0.0.55");
    auto *input = addChannelNode<PhidgetDigitalInputController>(*rig.producer, 1, kInput3);
    auto *remote = addChannelNode<PhidgetDigitalInputController>(*rig.mediaServer, 1, kInput3);
    lmsim_phidget_set_digital_input(kSerial, -1, 3, 1);
    deliverEvents();
    QSignalSpy fired(&rig.producer->graph(), &NodeGraph::outputTriggerFired);
    QSignalSpy firedRemote(&rig.mediaServer->graph(), &NodeGraph::outputTriggerFired);
    for (Show *show : {rig.producer, rig.mediaServer})
        show->allDevices().first()->init();
    rig.ready();
    QCOMPARE(fired.count() + firedRemote.count(), 0);
    QVERIFY(valueOf(input)->defined && valueOf(input)->value);
    // Still driven by the board.
    lmsim_phidget_set_digital_input(kSerial, -1, 3, 0);
    deliverEvents();
    QCOMPARE(fired.count(), 1);
    QCOMPARE(firedRemote.count(), 1);
    QVERIFY(valueOf(remote)->defined && !valueOf(remote)->value);
}

QTEST_MAIN(TestPhidgetControllers)
#include "tst_phidget_controllers.moc"
