// From a simulated digital input change to the host's thread, two ways over the same threads:
//  - Phidget: the runtime's handler on the library's dispatcher thread, the device's signal,
//    the "Phidget Digital Input" node (queued), its "Changed" trigger, and a connected node's
//    onInputTrigger, which reads the node's "Value";
//  - bare: a handler of a second handle on the same board that emits a plain QObject signal
//    through a queued connection to a receiver on the host's thread.
// Latency: one change at a time, from the control call to the receiver (median and 99th
// percentile), the two paths taking turns. Throughput: changes paced at a fixed rate from another
// thread; every change must arrive, in order.
#include "phidget_bridge.h"
#include "phidget_channel_data.h"
#include "phidget_controllers.h"
#include "phidget_runtime_p.h"

#include <DevicePluginTraits.h>
#include <HostRegistry.h>
#include <LMLog.h>
#include <NodeData.h>
#include <NodeGraph.h>
#include <Show.h>
#include <phidget22_sim.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const int32_t kSerial = 9100;
const char kAddress[] = "127.0.0.70";
const int kPhidgetChannel = 0, kBareChannel = 1;
const QUuid kSinkType(QStringLiteral("6d1f0d5e-3c55-4a8e-9c1b-2f57a0e4b1a1"));

// What reached the host's thread: count, time of the latest, and order of the states.
struct Arrivals
{
    long count = 0;
    Clock::time_point last;
    bool state = false;
    long outOfOrder = 0;

    void record(bool value)
    {
        last = Clock::now();
        if (count > 0 && value == state)
            ++outOfOrder;
        state = value;
        ++count;
    }
};

Arrivals s_phidget;
Arrivals s_bare;

// The node connected to "Changed" (input trigger 0) and "Value" (input 0).
class SinkController : public IShowNodeController
{
public:
    SinkController(const QUuid &type, Node &node)
        : IShowNodeController(type, node, false)
    { }
    const InputSlotDescriptors &inputSlots() const override
    {
        static const InputSlotDescriptors descriptors
            = {{"Value", kBoolDataTypeId, 0, {}, true, 0}};
        return descriptors;
    }
    const TriggerDescriptors &inputTriggers() const override
    {
        static const TriggerDescriptors descriptors = {{0, "In"}};
        return descriptors;
    }
    void onInputTrigger(int) override
    {
        const std::shared_ptr<BoolData> value = inputValue<BoolData>(0);
        s_phidget.record(value && value->value);
    }
};

class BareEmitter : public QObject
{
    Q_OBJECT
signals:
    void changed(bool state);
};

class BareReceiver : public QObject
{
public:
    void onChanged(bool state) { s_bare.record(state); }
};

BareEmitter *s_emitter = nullptr;

void CCONV bareStateChange(PhidgetDigitalInputHandle, void *, int state)
{
    emit s_emitter->changed(state != 0);
}

struct Rig
{
    Rig()
    {
        LMLog(logDir.filePath(QStringLiteral("bench.log")), 1 << 20).setMode(lmlog::Repetition);
        lmsim_phidget_reset();
        lmsim_phidget_board_create(kSerial, 0);
        lmsim_phidget_board_add_channels(kSerial, PHIDCHCLASS_DIGITALINPUT, -1, 2, 0);
        lmsim_phidget_board_attach(kSerial, kAddress);

        HostRegistry::registerHostTypes(registry);
        DevicePlugin::traits().fillRegistry(registry, HostCallbacks());
        registry.controllerFactories.insert(kSinkType, [](Node &node) -> INodeController * {
            auto *sink = new SinkController(kSinkType, node);
            sink->initValues();
            return sink;
        });
        show = std::make_unique<Show>(registry);

        auto *device = new PhidgetDevice(true);
        device->setDeviceNumber(1);
        PhidgetDeviceConfig config;
        config.serialNumber = kSerial;
        config.producerServerAddress = QLatin1String(kAddress);
        LM_PhidgetChannel channel;
        channel.type = LM_DIGITAL_INPUT;
        channel.channelNumber = kPhidgetChannel;
        config.channels.insert(1, channel);
        device->setConfig(config);
        show->addDevice(device);
        device->init();

        Node *input = show->graph().createNode(PhidgetDigitalInputController::s_controllerType);
        auto *designation = input->controller()->propertyData<PhidgetChannelData>(0);
        designation->device = DeviceDescriptorData(PhidgetDevice::s_typeName, 1);
        designation->channelID = 1;
        input->controller()->onPropertyChanged(0);
        Node *sink = show->graph().createNode(kSinkType);
        show->graph().connectTrigger({input->id(), 0, sink->id(), 0});
        show->graph().connectValue({input->id(), 0, sink->id(), 0});

        // The bare path: a second handle on the same board, opened the same way.
        s_emitter = &emitter;
        QObject::connect(&emitter, &BareEmitter::changed, &receiver, &BareReceiver::onChanged,
            Qt::QueuedConnection);
        PhidgetDigitalInput_create(&bare);
        const auto handle = reinterpret_cast<PhidgetHandle>(bare);
        PhidgetDigitalInput_setOnStateChangeHandler(bare, bareStateChange, nullptr);
        Phidget_setDeviceSerialNumber(handle, kSerial);
        Phidget_setChannel(handle, kBareChannel);
        Phidget_setIsRemote(handle, 1);
        Phidget_open(handle);

        const PhidgetHandle ours = device->runtime()->channelHandle(1);
        const auto until = Clock::now() + std::chrono::seconds(5);
        while ((lmsim_phidget_is_attached(ours) != 1 || lmsim_phidget_is_attached(handle) != 1)
            && Clock::now() < until)
            QCoreApplication::processEvents();
        settle();
    }
    ~Rig()
    {
        Phidget_close(reinterpret_cast<PhidgetHandle>(bare));
        PhidgetDigitalInput_delete(&bare);
        show.reset();
        s_emitter = nullptr;
        lmsim_phidget_reset();
    }
    static void settle()
    {
        lmsim_phidget_wait_idle(5000);
        QCoreApplication::sendPostedEvents();
        s_phidget = Arrivals();
        s_bare = Arrivals();
    }

    QTemporaryDir logDir;
    NodeTypeRegistry registry;
    std::unique_ptr<Show> show;
    BareEmitter emitter;
    BareReceiver receiver;
    PhidgetDigitalInputHandle bare = nullptr;
};

std::unique_ptr<Rig> s_rig;

Rig &rig()
{
    if (!s_rig)
        s_rig = std::make_unique<Rig>();
    return *s_rig;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

// One change at a time through each path in turn, so that both see the same machine load.
void BM_Latency(benchmark::State &state)
{
    rig();
    Rig::settle();
    std::vector<double> micros[2];
    int level = 0;
    for (auto _ : state) {
        level ^= 1;
        for (int path = 0; path < 2; ++path) {
            Arrivals &arrivals = path == 0 ? s_phidget : s_bare;
            const long before = arrivals.count;
            const Clock::time_point start = Clock::now();
            lmsim_phidget_set_digital_input(
                kSerial, -1, path == 0 ? kPhidgetChannel : kBareChannel, level);
            while (arrivals.count == before)
                QCoreApplication::processEvents();
            micros[path].push_back(
                std::chrono::duration<double, std::micro>(arrivals.last - start).count());
        }
    }
    for (const auto &[path, name] : {std::pair {0, "phidget"}, {1, "bare"}}) {
        state.counters[std::string(name) + "_p50_us"] = percentile(micros[path], 0.5);
        state.counters[std::string(name) + "_p99_us"] = percentile(micros[path], 0.99);
    }
    state.counters["ratio_p50"] = percentile(micros[0], 0.5) / percentile(micros[1], 0.5);
    state.counters["ratio_p99"] = percentile(micros[0], 0.99) / percentile(micros[1], 0.99);
    state.counters["out_of_order"] = double(s_phidget.outOfOrder + s_bare.outOfOrder);
}

// state.range(0) changes per second for one second, paced from another thread.
void throughput(benchmark::State &state, int channel, Arrivals &arrivals)
{
    rig();
    const long rate = state.range(0);
    for (auto _ : state) {
        Rig::settle();
        std::atomic<long> fired {0};
        const Clock::time_point start = Clock::now();
        std::thread board([&] {
            for (long i = 0; i < rate; ++i) {
                const Clock::time_point due
                    = start + std::chrono::nanoseconds(i * 1000000000 / rate);
                while (Clock::now() < due) { }
                lmsim_phidget_set_digital_input(kSerial, -1, channel, int((i + 1) & 1));
                fired.store(i + 1, std::memory_order_release);
            }
        });
        const auto until = start + std::chrono::seconds(10);
        while ((fired.load(std::memory_order_acquire) < rate || arrivals.count < rate)
            && Clock::now() < until)
            QCoreApplication::processEvents();
        board.join();
        const double seconds = std::chrono::duration<double>(arrivals.last - start).count();
        state.counters["delivered_per_s"] = double(arrivals.count) / seconds;
        state.counters["lost"] = double(rate - arrivals.count);
        state.counters["out_of_order"] = double(arrivals.outOfOrder);
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * rate);
}

void BM_Throughput_PhidgetNode(benchmark::State &state)
{
    throughput(state, kPhidgetChannel, s_phidget);
}
void BM_Throughput_BareQueued(benchmark::State &state)
{
    throughput(state, kBareChannel, s_bare);
}

BENCHMARK(BM_Latency)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Throughput_PhidgetNode)
    ->Arg(100000)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Throughput_BareQueued)
    ->Arg(100000)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    s_rig.reset();
    return 0;
}

#include "phidget_bench.moc"
