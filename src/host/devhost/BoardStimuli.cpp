// Board events: simulated Phidget boards plugged in and out, their inputs and encoders, the
// network server of an instance, and what a board drives on its outputs.
#include "BoardSim.h"
#include "StimulusContext.h"
#include "StimulusFields.h"
#include "StimulusKind.h"

#include <climits>

using namespace StimulusFields;

namespace {

// Channels of one class on one board.
constexpr int kMaxChannels = 64;

QString simCheck(const StimulusContext &host)
{
    QString reason;
    if (host.boards().available(&reason))
        return QString();
    return QStringLiteral("board events need the Phidget22 simulation: %1").arg(reason);
}

QString machineCheck(const StimulusContext &host, const QString &instance)
{
    const QString sim = simCheck(host);
    if (!sim.isEmpty())
        return sim;
    const InstanceConfig *inst = host.instanceConfig(instance);
    if (!inst)
        return QStringLiteral("the show has no instance \"%1\"").arg(instance);
    if (inst->address.isEmpty())
        return QStringLiteral("instance \"%1\" has no address (its machine)").arg(instance);
    return QString();
}

QString machineOf(const StimulusContext &host, const QString &instance)
{
    const InstanceConfig *inst = host.instanceConfig(instance);
    return inst ? inst->address : QString();
}

// Where a board event happens: "serial", "hubPort" (absent: -1) and "channel".
struct ChannelAddress
{
    int serial = 0;
    int hubPort = -1;
    int channel = 0;
};

bool channelFields(const Fields &f, ChannelAddress *address, QString *error)
{
    return intInRange(f, QStringLiteral("serial"), 0, INT_MAX, 0, &address->serial, error)
        && intInRange(f, QStringLiteral("hubPort"), -1, 15, -1, &address->hubPort, error)
        && intInRange(
            f, QStringLiteral("channel"), 0, kMaxChannels - 1, 0, &address->channel, error);
}

bool parseAttach(const Fields &f, ScriptEntry *entry, QString *error)
{
    int serial = 0;
    int hubPorts = 0;
    int hubPort = -1;
    int device = 0;
    int inputs = 0;
    int outputs = 0;
    int encoders = 0;
    if (!intInRange(f, QStringLiteral("serial"), 0, INT_MAX, 0, &serial, error)
        || !intInRange(f, QStringLiteral("hubPorts"), 0, 16, 0, &hubPorts, error)
        || !intInRange(f, QStringLiteral("hubPort"), -1, 15, hubPorts > 0 ? 0 : -1, &hubPort, error)
        || !intInRange(f, QStringLiteral("hubPortDevice"), 0, 1, 0, &device, error)
        || !intInRange(f, QStringLiteral("digitalInputs"), 0, kMaxChannels, 0, &inputs, error)
        || !intInRange(f, QStringLiteral("digitalOutputs"), 0, kMaxChannels, 0, &outputs, error)
        || !intInRange(f, QStringLiteral("encoders"), 0, kMaxChannels, 0, &encoders, error)) {
        return false;
    }
    if ((hubPorts == 0) != (hubPort < 0) || hubPort >= qMax(hubPorts, 1)) {
        return failWith(error,
            QStringLiteral("\"hubPort\" %1 does not fit a board with %2 hub port(s)")
                .arg(hubPort)
                .arg(hubPorts));
    }
    const QString instance = f.value(QStringLiteral("instance")).trimmed();
    entry->check = [instance](const StimulusContext &host) { return machineCheck(host, instance); };
    entry->apply = [=](StimulusContext &host) {
        host.print(host.boards().attach(serial, machineOf(host, instance), instance, hubPorts,
            hubPort, device != 0, inputs, outputs, encoders));
    };
    return true;
}

bool parseDetach(const Fields &f, ScriptEntry *entry, QString *error)
{
    int serial = 0;
    if (!intInRange(f, QStringLiteral("serial"), 0, INT_MAX, 0, &serial, error))
        return false;
    entry->check = simCheck;
    entry->apply = [serial](StimulusContext &host) { host.print(host.boards().detach(serial)); };
    return true;
}

bool parseDigitalInput(const Fields &f, ScriptEntry *entry, QString *error)
{
    ChannelAddress a;
    bool state = false;
    if (!channelFields(f, &a, error) || !stateField(f, QStringLiteral("state"), &state, error))
        return false;
    entry->check = simCheck;
    entry->apply = [=](StimulusContext &host) {
        host.print(host.boards().setInput(a.serial, a.hubPort, a.channel, state));
    };
    return true;
}

bool parseTurnEncoder(const Fields &f, ScriptEntry *entry, QString *error)
{
    ChannelAddress a;
    int counts = 0;
    if (!channelFields(f, &a, error)
        || !intInRange(f, QStringLiteral("counts"), -1000000000, 1000000000, 0, &counts, error)) {
        return false;
    }
    entry->check = simCheck;
    entry->apply = [=](StimulusContext &host) {
        host.print(host.boards().turnEncoder(a.serial, a.hubPort, a.channel, counts));
    };
    return true;
}

bool parseServer(const Fields &f, ScriptEntry *entry, bool alive)
{
    const QString instance = f.value(QStringLiteral("instance")).trimmed();
    entry->check = [instance](const StimulusContext &host) { return machineCheck(host, instance); };
    entry->apply = [instance, alive](StimulusContext &host) {
        host.print(host.boards().setServerAlive(machineOf(host, instance), instance, alive));
    };
    return true;
}

bool parseStopServer(const Fields &f, ScriptEntry *entry, QString *)
{
    return parseServer(f, entry, false);
}

bool parseRestartServer(const Fields &f, ScriptEntry *entry, QString *)
{
    return parseServer(f, entry, true);
}

bool parseExpectDigitalOutput(const Fields &f, ScriptEntry *entry, QString *error)
{
    ChannelAddress a;
    bool state = false;
    if (!channelFields(f, &a, error) || !stateField(f, QStringLiteral("state"), &state, error))
        return false;
    const qint64 atMs = entry->atMs;
    entry->check = simCheck;
    entry->verify = [=](const StimulusContext &host) -> std::optional<QString> {
        const int actual = host.boards().outputState(a.serial, a.hubPort, a.channel);
        if (actual == int(state))
            return std::nullopt;
        return QStringLiteral("at %1 s, board %2 %3: expected %4, found %5")
            .arg(QString::number(double(atMs) / 1000.0), QString::number(a.serial),
                BoardSim::channelText(a.hubPort, QStringLiteral("digital output"), a.channel),
                BoardSim::stateText(state),
                actual < 0 ? QStringLiteral("no such output") : BoardSim::stateText(actual != 0));
    };
    return true;
}

} // namespace

QList<StimulusKind> boardStimulusKinds()
{
    const QString serial = QStringLiteral("serial");
    const QString hubPort = QStringLiteral("hubPort");
    const QString channel = QStringLiteral("channel");
    const QString state = QStringLiteral("state");
    const QString instance = QStringLiteral("instance");
    return {
        {QStringLiteral("attachBoard"), false, {serial, instance},
            {QStringLiteral("digitalInputs"), QStringLiteral("digitalOutputs"),
                QStringLiteral("encoders"), QStringLiteral("hubPorts"), hubPort,
                QStringLiteral("hubPortDevice")},
            parseAttach},
        {QStringLiteral("detachBoard"), false, {serial}, {}, parseDetach},
        {QStringLiteral("digitalInput"), false, {serial, channel, state}, {hubPort},
            parseDigitalInput},
        {QStringLiteral("turnEncoder"), false, {serial, channel, QStringLiteral("counts")},
            {hubPort}, parseTurnEncoder},
        {QStringLiteral("stopServer"), false, {instance}, {}, parseStopServer},
        {QStringLiteral("restartServer"), false, {instance}, {}, parseRestartServer},
        {QStringLiteral("expectDigitalOutput"), true, {serial, channel, state}, {hubPort},
            parseExpectDigitalOutput},
    };
}
