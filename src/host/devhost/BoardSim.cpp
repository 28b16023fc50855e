#include "BoardSim.h"

#include "SimLibrary.h"

#include <QDebug>
#include <QtGlobal>

#include <climits>
#include <type_traits>

#include "phidget22_sim.h"

namespace {

// The fixed port of the Phidget network server.
constexpr int kServerPort = 5661;

} // namespace

// The control calls, resolved by name.
struct BoardSim::Api
{
    decltype(&lmsim_phidget_board_create) boardCreate = nullptr;
    decltype(&lmsim_phidget_board_add_channels) addChannels = nullptr;
    decltype(&lmsim_phidget_board_attach) boardAttach = nullptr;
    decltype(&lmsim_phidget_board_remove) boardRemove = nullptr;
    decltype(&lmsim_phidget_set_digital_input) setDigitalInput = nullptr;
    decltype(&lmsim_phidget_turn_encoder) turnEncoder = nullptr;
    decltype(&lmsim_phidget_get_encoder_position) encoderPosition = nullptr;
    decltype(&lmsim_phidget_get_digital_output) digitalOutput = nullptr;
    decltype(&lmsim_phidget_set_server_alive) serverAlive = nullptr;
    decltype(&lmsim_phidget_wait_idle) waitIdle = nullptr;
    decltype(&lmsim_phidget_log_text) logText = nullptr;
    decltype(&Phidget_getErrorDescription) errorDescription = nullptr;
};

BoardSim::BoardSim() = default;
BoardSim::~BoardSim() = default;

bool BoardSim::available(QString *reason) const
{
    if (!m_resolved) {
        m_resolved = true;
        // The library the Phidget plug-in loaded; without the plug-in, the one the loader
        // finds.
        void *library = SimLibrary::open(&m_reason);
        if (library) {
            auto api = std::make_unique<Api>();
            bool complete = true;
            const auto resolve = [&](auto &slot, const char *name) {
                slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
                    SimLibrary::resolve(library, name));
                complete = complete && slot;
            };
            resolve(api->boardCreate, "lmsim_phidget_board_create");
            resolve(api->addChannels, "lmsim_phidget_board_add_channels");
            resolve(api->boardAttach, "lmsim_phidget_board_attach");
            resolve(api->boardRemove, "lmsim_phidget_board_remove");
            resolve(api->setDigitalInput, "lmsim_phidget_set_digital_input");
            resolve(api->turnEncoder, "lmsim_phidget_turn_encoder");
            resolve(api->encoderPosition, "lmsim_phidget_get_encoder_position");
            resolve(api->digitalOutput, "lmsim_phidget_get_digital_output");
            resolve(api->serverAlive, "lmsim_phidget_set_server_alive");
            resolve(api->waitIdle, "lmsim_phidget_wait_idle");
            resolve(api->logText, "lmsim_phidget_log_text");
            resolve(api->errorDescription, "Phidget_getErrorDescription");
            if (complete) {
                m_api = std::move(api);
            } else {
                m_reason = QStringLiteral("the loaded %1 has no simulation control calls (a "
                                          "vendor library?)")
                               .arg(SimLibrary::fileName());
            }
        }
    }
    if (!m_api && reason)
        *reason = m_reason;
    return m_api != nullptr;
}

QString BoardSim::failure(int serial, const QString &what, int code) const
{
    const char *description = nullptr;
    if (m_api->errorDescription(PhidgetReturnCode(code), &description) != EPHIDGET_OK)
        description = nullptr;
    return QStringLiteral("[board %1] %2 failed: error %3: %4")
        .arg(QString::number(serial), what, QString::number(code),
            description ? QString::fromUtf8(description) : QStringLiteral("unknown"));
}

QString BoardSim::attach(int serial, const QString &machine, const QString &instance, int hubPorts,
    int hubPort, bool hubPortDevice, int inputs, int outputs, int encoders)
{
    if (!available())
        return QStringLiteral("[board %1] %2").arg(QString::number(serial), m_reason);
    // A board is defined once; attaching it again plugs the same board in again.
    int code = m_api->boardCreate(serial, hubPorts);
    const bool isNew = code == EPHIDGET_OK;
    if (!isNew && code != EPHIDGET_DUPLICATE)
        return failure(serial, QStringLiteral("definition"), code);
    if (isNew) {
        const std::pair<Phidget_ChannelClass, int> classes[] = {
            {PHIDCHCLASS_DIGITALINPUT, inputs},
            {PHIDCHCLASS_DIGITALOUTPUT, outputs},
            {PHIDCHCLASS_ENCODER, encoders},
        };
        for (const auto &[channelClass, count] : classes) {
            if (count == 0)
                continue;
            code = m_api->addChannels(serial, channelClass, hubPort, count, hubPortDevice ? 1 : 0);
            if (code != EPHIDGET_OK)
                return failure(serial, QStringLiteral("adding channels"), code);
        }
        Board board;
        board.hubPort = hubPort;
        board.outputs = outputs;
        for (int i = 0; i < outputs; ++i)
            board.lastOutputs.append(0);
        m_boards.insert(serial, board);
    } else if (!m_boards.contains(serial)) {
        // Defined before this host knew it (an earlier run in this process): no outputs known.
        m_boards.insert(serial, Board());
    }
    const QByteArray machineText = machine.toUtf8();
    code = m_api->boardAttach(serial, machineText.constData());
    if (code != EPHIDGET_OK)
        return failure(serial, QStringLiteral("attach to %1").arg(machine), code);
    m_boards[serial].pluggedIn = true;
    waitIdle();
    const QString contents = isNew
        ? QStringLiteral(": %1 digital input(s), %2 digital output(s), %3 encoder(s)%4")
              .arg(inputs)
              .arg(outputs)
              .arg(encoders)
              .arg(hubPort >= 0 ? QStringLiteral(" on hub port %1").arg(hubPort) : QString())
        : QString();
    return QStringLiteral("[board %1] attached to %2 (%3)%4")
        .arg(QString::number(serial), machine, instance, contents);
}

QString BoardSim::detach(int serial)
{
    if (!available())
        return QStringLiteral("[board %1] %2").arg(QString::number(serial), m_reason);
    const int code = m_api->boardRemove(serial);
    if (code != EPHIDGET_OK)
        return failure(serial, QStringLiteral("removal"), code);
    if (m_boards.contains(serial))
        m_boards[serial].pluggedIn = false;
    waitIdle();
    return QStringLiteral("[board %1] removed").arg(serial);
}

QString BoardSim::setInput(int serial, int hubPort, int channel, bool state)
{
    if (!available())
        return QStringLiteral("[board %1] %2").arg(QString::number(serial), m_reason);
    const QString what = channelText(hubPort, QStringLiteral("digital input"), channel);
    const int code = m_api->setDigitalInput(serial, hubPort, channel, state ? 1 : 0);
    if (code != EPHIDGET_OK)
        return failure(serial, what, code);
    const auto board = m_boards.find(serial);
    if (board != m_boards.end())
        board->inputs.insert({hubPort, channel}, state);
    waitIdle();
    return QStringLiteral("[board %1] %2 = %3")
        .arg(QString::number(serial), what, stateText(state));
}

QString BoardSim::turnEncoder(int serial, int hubPort, int channel, int counts)
{
    if (!available())
        return QStringLiteral("[board %1] %2").arg(QString::number(serial), m_reason);
    const QString what = channelText(hubPort, QStringLiteral("encoder"), channel);
    int code = m_api->turnEncoder(serial, hubPort, channel, counts);
    if (code != EPHIDGET_OK)
        return failure(serial, what, code);
    waitIdle();
    int64_t position = 0;
    code = m_api->encoderPosition(serial, hubPort, channel, &position);
    return QStringLiteral("[board %1] %2 turned by %3 (position %4)")
        .arg(QString::number(serial), what, QString::number(counts),
            code == EPHIDGET_OK ? QString::number(position) : QStringLiteral("unknown"));
}

QString BoardSim::setServerAlive(const QString &address, const QString &instance, bool alive)
{
    const QString name = QStringLiteral("[server %1:%2]").arg(address).arg(kServerPort);
    if (!available())
        return QStringLiteral("%1 %2").arg(name, m_reason);
    const QByteArray text = address.toUtf8();
    const int code = m_api->serverAlive(text.constData(), kServerPort, alive ? 1 : 0);
    if (code != EPHIDGET_OK) {
        const char *description = nullptr;
        m_api->errorDescription(PhidgetReturnCode(code), &description);
        return QStringLiteral("%1 %2 failed: error %3: %4")
            .arg(name, alive ? QStringLiteral("restart") : QStringLiteral("stop"),
                QString::number(code),
                description ? QString::fromUtf8(description) : QStringLiteral("unknown"));
    }
    waitIdle();
    return QStringLiteral("%1 of %2 %3")
        .arg(name, instance, alive ? QStringLiteral("back") : QStringLiteral("stopped"));
}

int BoardSim::outputState(int serial, int hubPort, int channel) const
{
    if (!available())
        return -1;
    int state = 0;
    if (m_api->digitalOutput(serial, hubPort, channel, &state) != EPHIDGET_OK)
        return -1;
    return state != 0 ? 1 : 0;
}

std::optional<qint64> BoardSim::encoderPosition(int serial, int hubPort, int channel) const
{
    int64_t position = 0;
    if (!available() || m_api->encoderPosition(serial, hubPort, channel, &position) != EPHIDGET_OK)
        return std::nullopt;
    return qint64(position);
}

QStringList BoardSim::pollOutputs()
{
    QStringList lines;
    if (!m_api)
        return lines;
    for (auto it = m_boards.begin(); it != m_boards.end(); ++it) {
        Board &board = it.value();
        for (int i = 0; i < board.outputs; ++i) {
            const int state = outputState(it.key(), board.hubPort, i);
            if (state < 0 || state == board.lastOutputs[i])
                continue;
            board.lastOutputs[i] = state;
            lines.append(QStringLiteral("[board %1] %2 = %3")
                             .arg(QString::number(it.key()),
                                 channelText(board.hubPort, QStringLiteral("digital output"), i),
                                 stateText(state != 0)));
        }
    }
    return lines;
}

void BoardSim::waitIdle()
{
    if (m_api && m_api->waitIdle(kIdleTimeoutMs) == EPHIDGET_TIMEOUT) {
        qWarning().noquote() << "lm_devhost: the Phidget22 simulation was not idle after"
                             << kIdleTimeoutMs << "ms";
    }
}

QStringList BoardSim::newLogLines()
{
    if (!available())
        return {};
    const int size = m_api->logText(nullptr, 0);
    if (size <= 0)
        return {};
    QByteArray buffer(size + 1, '\0');
    const int written = qMin(m_api->logText(buffer.data(), int(buffer.size())), size);
    const QString text = QString::fromUtf8(buffer.constData(), written);
    QString fresh;
    if (text.startsWith(m_logSeen)) {
        fresh = text.mid(m_logSeen.size());
    } else {
        // The log keeps its latest lines only: go on after the last line already shown.
        const QString last = m_logSeen.section(QLatin1Char('\n'), -2, -2) + QLatin1Char('\n');
        const qsizetype at = text.lastIndexOf(last);
        fresh = at >= 0 ? text.mid(at + last.size()) : text;
    }
    m_logSeen = text;
    QStringList lines = fresh.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines;
}

QString BoardSim::stateText(bool state)
{
    return state ? QStringLiteral("true") : QStringLiteral("false");
}

QString BoardSim::channelText(int hubPort, const QString &kind, int channel)
{
    return hubPort >= 0 ? QStringLiteral("hub port %1 %2 %3").arg(hubPort).arg(kind).arg(channel)
                        : QStringLiteral("%1 %2").arg(kind).arg(channel);
}
