// The three Phidget nodes driven by a simulated board through the runtime, on the producer
// (which hosts the board) and on a media server (which does not).
#include "phidget_channel_data.h"
#include "phidget_controllers.h"
#include "phidget_test_support.h"

#include <NodeGraph.h>
#include <phidget22_sim.h>

#include <QSignalSpy>
#include <QtTest>

namespace {
const int32_t kSerial = 5000;
const int kInput3 = 3, kInput4 = 4, kEncoder = 5, kOutput = 6;

// The board on machine `address`, the same device on the producer and on media server 1,
// both started and attached.
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
        PhidgetDeviceConfig config;
        config.serialNumber = kSerial;
        config.producerServerAddress = QLatin1String(address);
        config.channels.insert(kInput3, phidgetChannel(LM_DIGITAL_INPUT, 3));
        config.channels.insert(kInput4, phidgetChannel(LM_DIGITAL_INPUT, 4));
        config.channels.insert(kEncoder, phidgetChannel(LM_ENCODER, 0));
        config.channels.insert(kOutput, phidgetChannel(LM_DIGITAL_OUTPUT, 0));
        for (Show *show : {producer.get(), mediaServer.get()}) {
            PhidgetDevice *device = addPhidgetDevice(*show, 1, config);
            device->init();
            for (int id : config.channels.keys())
                handles << device->runtime()->channelHandle(id);
        }
    }
    ~Rig()
    {
        producer.reset();
        mediaServer.reset();
    }
    // Attached, and the input levels reported on attach delivered.
    void ready() const
    {
        QTRY_VERIFY(attached());
        deliverEvents();
    }
    bool attached() const
    {
        for (PhidgetHandle handle : handles) {
            if (lmsim_phidget_is_attached(handle) != 1)
                return false;
        }
        return true;
    }
    static int output()
    {
        int state = -1;
        lmsim_phidget_get_digital_output(kSerial, -1, 0, &state);
        return state;
    }

    NodeTypeRegistry registry = makePhidgetRegistry();
    std::unique_ptr<Show> producer = makeInstance(registry);
    std::unique_ptr<Show> mediaServer = makeInstance(registry, 1);
    QList<PhidgetHandle> handles;
};

// A device of another kind that claims the Phidget type name.
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
} // namespace

class TestPhidgetControllers : public QObject
{
    Q_OBJECT

private slots:
    void slotLists();
    void inputFollowsItsChannelAndDrivesAnOutput();
    void encoder();
    void outputWritesOnlyFromTheHostingInstance();
    void rebindingDropsOldConnections();
};

void TestPhidgetControllers::slotLists()
{
    const NodeTypeRegistry registry = makePhidgetRegistry();
    const auto show = makeInstance(registry);
    auto *input = addChannelNode<PhidgetDigitalInputController>(*show, 1, 0);
    auto *encoder = addChannelNode<PhidgetEncoderController>(*show, 1, 0);
    auto *output = addChannelNode<PhidgetDigitalOutputController>(*show, 1, 0);
    QCOMPARE(input->outputSlots().at(0).name, std::string("Value"));
    QCOMPARE(input->outputTriggers().at(0).name, std::string("Changed"));
    QCOMPARE(encoder->outputSlots().at(1).name, std::string("Position Change"));
    QCOMPARE(encoder->outputSlots().at(1).type, IntDataTypeId);
    QCOMPARE(output->inputTriggers().at(0).name, std::string("Set"));
    QVERIFY(input->emitsTriggers() && encoder->emitsTriggers() && !output->emitsTriggers());
    const int types[] = {LM_DIGITAL_INPUT, LM_ENCODER, LM_DIGITAL_OUTPUT};
    const INodeController *nodes[] = {input, encoder, output};
    for (int i = 0; i < 3; ++i) {
        const auto *channel = nodes[i]->propertyData<PhidgetChannelData>(0);
        QCOMPARE(channel->channelType, types[i]);
        QCOMPARE(nodes[i]->propertySlots().at(0).name, std::string("Channel"));
    }
    QVERIFY(!valueOf(input)->defined);
    QVERIFY(output->inputValues().at(0)->defined);
}

void TestPhidgetControllers::inputFollowsItsChannelAndDrivesAnOutput()
{
    Rig rig("127.0.0.50");
    rig.ready();
    NodeGraph &graph = rig.producer->graph();
    auto *input = addChannelNode<PhidgetDigitalInputController>(*rig.producer, 1, kInput3);
    auto *output = addChannelNode<PhidgetDigitalOutputController>(*rig.producer, 1, kOutput);
    const int in = input->node().id(), out = output->node().id();
    QVERIFY(graph.connectValue({in, 0, out, 0}));
    QVERIFY(graph.connectTrigger({in, 0, out, 0}));
    auto *remote = addChannelNode<PhidgetDigitalInputController>(*rig.mediaServer, 1, kInput3);
    QSignalSpy fired(&graph, &NodeGraph::outputTriggerFired);

    lmsim_phidget_set_digital_input(kSerial, -1, 4, 1);
    deliverEvents();
    QVERIFY(!valueOf(input)->defined);
    QCOMPARE(fired.count(), 0);

    // Input 3 changes: "Value", "Changed", and through it the output node writes the value.
    lmsim_phidget_set_digital_input(kSerial, -1, 3, 1);
    deliverEvents();
    QVERIFY(valueOf(input)->defined && valueOf(input)->value);
    QCOMPARE(fired.count(), 1);
    deliverEvents();
    QCOMPARE(Rig::output(), 1);
    QVERIFY(valueOf(remote)->defined && valueOf(remote)->value); // the media server hears it too

    // A node made now polls the state once; defined, it polls no more.
    auto *later = addChannelNode<PhidgetDigitalInputController>(*rig.producer, 1, kInput3);
    simClear();
    graph.evaluate();
    graph.evaluate();
    QVERIFY(valueOf(later)->defined && valueOf(later)->value);
    QCOMPARE(simCallNames({"PhidgetDigitalInput_getState"}).size(), 1);

    // Detached: no longer defined, no trigger; the next tick polls, quietly failing.
    lmsim_phidget_board_remove(kSerial);
    deliverEvents();
    QVERIFY(!valueOf(input)->defined && !valueOf(later)->defined);
    QCOMPARE(fired.count(), 1);
    simClear();
    graph.evaluate();
    QVERIFY(!valueOf(input)->defined);
    QCOMPARE(simCallNames({"PhidgetDigitalInput_getState"}).size(), 2);

    // Back: the level reported on attach sets it and fires "Changed".
    lmsim_phidget_board_attach(kSerial, "127.0.0.50");
    rig.ready();
    QVERIFY(valueOf(input)->defined && valueOf(input)->value);
    QCOMPARE(fired.count(), 3); // both input nodes
    lmsim_phidget_set_digital_input(kSerial, -1, 3, 0);
    deliverEvents();
    QVERIFY(valueOf(input)->defined && !valueOf(input)->value);
    QCOMPARE(fired.count(), 5);
}

void TestPhidgetControllers::encoder()
{
    Rig rig("127.0.0.51");
    rig.ready();
    auto *encoder = addChannelNode<PhidgetEncoderController>(*rig.producer, 1, kEncoder);
    QSignalSpy fired(&rig.producer->graph(), &NodeGraph::outputTriggerFired);

    // 2^32 + 5: "Position" shows the low 32 bits.
    lmsim_phidget_turn_encoder(kSerial, -1, 0, 2147483647);
    lmsim_phidget_turn_encoder(kSerial, -1, 0, 2147483647);
    lmsim_phidget_turn_encoder(kSerial, -1, 0, 7);
    deliverEvents();
    QCOMPARE(fired.count(), 3);
    QCOMPARE(encoder->outputData<IntData>(0)->value, 5);
    QCOMPARE(encoder->outputData<IntData>(1)->value, 7);
    QVERIFY(encoder->outputData<IntData>(0)->defined && encoder->outputData<IntData>(1)->defined);

    // A node made later polls the position; the change stays undefined.
    auto *later = addChannelNode<PhidgetEncoderController>(*rig.producer, 1, kEncoder);
    rig.producer->graph().evaluate();
    QCOMPARE(later->outputData<IntData>(0)->value, 5);
    QVERIFY(later->outputData<IntData>(0)->defined && !later->outputData<IntData>(1)->defined);

    lmsim_phidget_board_remove(kSerial);
    deliverEvents();
    QVERIFY(!encoder->outputData<IntData>(0)->defined && !encoder->outputData<IntData>(1)->defined);
    QCOMPARE(fired.count(), 3);
}

void TestPhidgetControllers::outputWritesOnlyFromTheHostingInstance()
{
    Rig rig("127.0.0.52");
    rig.ready();
    auto *output = addChannelNode<PhidgetDigitalOutputController>(*rig.producer, 1, kOutput);
    auto *remote = addChannelNode<PhidgetDigitalOutputController>(*rig.mediaServer, 1, kOutput);

    dynamic_cast<BoolData *>(remote->inputValues().at(0).get())->value = true;
    simClear();
    remote->onInputTrigger(0);
    deliverEvents();
    QVERIFY(simCalls({"PhidgetDigitalOutput_setState_async"}).isEmpty());

    // Unconnected "Value": the user default, true here, then false for a new node.
    dynamic_cast<BoolData *>(output->inputValues().at(0).get())->value = true;
    output->onInputTrigger(0);
    deliverEvents();
    QCOMPARE(Rig::output(), 1);
    addChannelNode<PhidgetDigitalOutputController>(*rig.producer, 1, kOutput)->onInputTrigger(0);
    deliverEvents();
    QCOMPARE(Rig::output(), 0);
    QCOMPARE(simCallNames({"PhidgetDigitalOutput_setState_async"}).size(), 2);

    // Channels that are not open outputs, and a device that is no Phidget device, write nothing.
    rig.producer->addDevice(new Impostor);
    simClear();
    for (auto [device, channel] : {std::pair {1, kInput3}, {1, 42}, {9, kOutput}})
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
    rig.ready();
    auto *input = addChannelNode<PhidgetDigitalInputController>(*rig.producer, 1, kInput3);
    QSignalSpy fired(&rig.producer->graph(), &NodeGraph::outputTriggerFired);

    input->propertyData<PhidgetChannelData>(0)->channelID = kInput4;
    input->onPropertyChanged(0);
    input->onPropertyChanged(0); // twice: still one connection
    lmsim_phidget_set_digital_input(kSerial, -1, 3, 1);
    deliverEvents();
    QCOMPARE(fired.count(), 0);
    lmsim_phidget_set_digital_input(kSerial, -1, 4, 1);
    deliverEvents();
    QCOMPARE(fired.count(), 1);

    // Cleared: unbound, outputs undefined.
    input->propertyData<PhidgetChannelData>(0)->defined = false;
    input->onPropertyChanged(0);
    QVERIFY(!valueOf(input)->defined);
    lmsim_phidget_set_digital_input(kSerial, -1, 4, 0);
    deliverEvents();
    QCOMPARE(fired.count(), 1);
}

QTEST_MAIN(TestPhidgetControllers)
#include "tst_phidget_controllers.moc"
