#include "BoardPanel.h"

#include "DevHost.h"
#include "Device.h"
#include "Show.h"
#include "ui_BoardPanel.h"

#include <QDial>
#include <QDomDocument>
#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <XmlWriter.h>

#include <algorithm>

namespace {

// Channel types of a Phidget channel in the device's stored form.
constexpr int kDigitalInputType = 5;
constexpr int kDigitalOutputType = 6;
constexpr int kEncoderType = 8;
// The simulation's limit of channels of one class.
constexpr int kMaxChannels = 64;
// Detents of one turn of a dial.
constexpr int kDialSteps = 24;

QString quoted(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

int countOf(const QList<BoardInfo::Channel> &channels)
{
    int count = 0;
    for (const BoardInfo::Channel &c : channels)
        count = std::max(count, c.number + 1);
    return std::min(count, kMaxChannels);
}

QString lampStyle(int state)
{
    const char *fill = state < 0 ? "#9a9a9a" : state ? "#40d040" : "#2b3a2b";
    return QStringLiteral("border-radius: 8px; border: 1px solid #303030; background: %1;")
        .arg(QLatin1String(fill));
}

} // namespace

QList<BoardInfo> BoardInfo::fromShow(const DevHost &host)
{
    QMap<int, BoardInfo> boards;
    if (host.instances().empty())
        return {};
    const Show &producer = *host.instances().front();
    for (Device *device : producer.devicesOfType(QStringLiteral("Phidget"))) {
        QString xml;
        {
            XmlWriter writer(&xml);
            device->writeXml(writer);
        }
        QDomDocument document;
        if (!document.setContent(xml))
            continue;
        const QDomElement e = document.documentElement();
        bool ok = false;
        const int serial = e.attribute(QStringLiteral("serialNumber")).toInt(&ok);
        if (!ok || serial < 0)
            continue;
        BoardInfo &board = boards[serial];
        board.serial = serial;
        if (board.deviceName.isEmpty())
            board.deviceName = device->name();
        const int server = e.attribute(QStringLiteral("mediaServerId")).toInt();
        for (const InstanceConfig &inst : host.showFile().instances()) {
            if (board.instance.isEmpty() && inst.mediaServerId == server)
                board.instance = inst.name;
        }
        for (QDomElement c = e.firstChildElement(QStringLiteral("channel")); !c.isNull();
             c = c.nextSiblingElement(QStringLiteral("channel"))) {
            Channel channel;
            channel.hubPort = c.attribute(QStringLiteral("hubPort"), QStringLiteral("-1")).toInt();
            channel.number = c.attribute(QStringLiteral("channelNumber")).toInt(&ok);
            channel.name = c.attribute(QStringLiteral("name"));
            if (!ok || channel.number < 0 || channel.number >= kMaxChannels)
                continue;
            const int type = c.attribute(QStringLiteral("type")).toInt();
            QList<Channel> *list = type == kDigitalInputType ? &board.inputs
                : type == kDigitalOutputType                 ? &board.outputs
                : type == kEncoderType                       ? &board.encoders
                                                             : nullptr;
            if (list)
                list->append(channel);
        }
    }
    return boards.values();
}

QString BoardInfo::attachCommand() const
{
    QString command
        = QStringLiteral("attachBoard serial=%1 instance=%2").arg(serial).arg(quoted(instance));
    command += QStringLiteral(" digitalInputs=%1 digitalOutputs=%2 encoders=%3")
                   .arg(countOf(inputs))
                   .arg(countOf(outputs))
                   .arg(countOf(encoders));
    // A VINT hub: its ports up to the highest one used; the channels sit on the first.
    int hubPort = -1;
    int lastPort = -1;
    for (const QList<Channel> *list : {&inputs, &outputs, &encoders}) {
        for (const Channel &c : *list) {
            if (c.hubPort >= 0 && hubPort < 0)
                hubPort = c.hubPort;
            lastPort = std::max(lastPort, c.hubPort);
        }
    }
    if (hubPort >= 0)
        command += QStringLiteral(" hubPorts=%1 hubPort=%2").arg(lastPort + 1).arg(hubPort);
    return command;
}

BoardPanel::BoardPanel(DevHost &host, const BoardInfo &board, QWidget *parent)
    : QGroupBox(parent)
    , m_ui(std::make_unique<Ui::BoardPanel>())
    , m_host(host)
    , m_board(board)
{
    m_ui->setupUi(this);
    setObjectName(QStringLiteral("board_%1").arg(board.serial));
    setTitle(tr("Board %1 (%2)").arg(board.serial).arg(board.deviceName));
    m_ui->machineLabel->setText(board.instance.isEmpty() ? tr("<i>no instance hosts it</i>")
                                                         : tr("on %1").arg(board.instance));
    m_ui->plugInButton->setEnabled(!board.instance.isEmpty());
    m_plugged = new QLabel(this);
    m_plugged->setObjectName(QStringLiteral("pluggedLabel"));
    m_ui->plugLayout->insertWidget(1, m_plugged);
    connect(
        m_ui->plugInButton, &QPushButton::clicked, this, [this] { push(m_board.attachCommand()); });
    connect(m_ui->unplugButton, &QPushButton::clicked, this,
        [this] { push(QStringLiteral("detachBoard serial=%1").arg(m_board.serial)); });

    for (const BoardInfo::Channel &channel : board.inputs) {
        auto *button = new QPushButton(
            channel.name.isEmpty() ? QString::number(channel.number) : channel.name, this);
        button->setCheckable(true);
        button->setToolTip(tr("Digital input %1: pressed is 1").arg(channel.number));
        connect(button, &QPushButton::toggled, this, [this, button, channel](bool on) {
            const QString command = QStringLiteral("digitalInput serial=%1 channel=%2 state=%3%4")
                                        .arg(m_board.serial)
                                        .arg(channel.number)
                                        .arg(on ? 1 : 0)
                                        .arg(channelFields(channel));
            if (!push(command)) {
                // Refused: the toggle shows the state the board still has.
                const QSignalBlocker blocker(button);
                button->setChecked(!on);
            }
        });
        m_ui->inputsLayout->addWidget(button);
        m_inputs.append(button);
    }
    // A widget per channel: what it controls above, its label below.
    const auto labelled = [this](QWidget *control, const QString &text, QLabel **caption) {
        auto *box = new QWidget(this);
        auto *layout = new QVBoxLayout(box);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(2);
        layout->addWidget(control, 0, Qt::AlignHCenter);
        auto *label = new QLabel(text, box);
        label->setAlignment(Qt::AlignHCenter);
        layout->addWidget(label);
        if (caption)
            *caption = label;
        return box;
    };
    for (const BoardInfo::Channel &channel : board.outputs) {
        auto *lamp = new QLabel(this);
        lamp->setFixedSize(16, 16);
        lamp->setToolTip(tr("Digital output %1 (%2)").arg(channel.number).arg(channel.name));
        lamp->setStyleSheet(lampStyle(-1));
        m_ui->outputsLayout->addWidget(labelled(lamp,
            channel.name.isEmpty() ? QString::number(channel.number) : channel.name, nullptr));
        m_lamps.append(lamp);
        m_lampStates.append(-1);
    }
    for (const BoardInfo::Channel &channel : board.encoders) {
        auto *dial = new QDial(this);
        dial->setRange(0, kDialSteps - 1);
        dial->setWrapping(true);
        dial->setNotchesVisible(true);
        dial->setFixedSize(48, 48);
        dial->setToolTip(
            tr("Encoder %1 (%2): a detent is one count").arg(channel.number).arg(channel.name));
        const int index = int(m_dials.size());
        connect(dial, &QDial::valueChanged, this, [this, index, channel](int value) {
            int counts = value - m_dialValues[index];
            // The short way round across the wrap.
            if (counts > kDialSteps / 2)
                counts -= kDialSteps;
            else if (counts < -kDialSteps / 2)
                counts += kDialSteps;
            m_dialValues[index] = value;
            if (counts != 0) {
                push(QStringLiteral("turnEncoder serial=%1 channel=%2 counts=%3%4")
                         .arg(m_board.serial)
                         .arg(channel.number)
                         .arg(counts)
                         .arg(channelFields(channel)));
            }
        });
        QLabel *position = nullptr;
        m_ui->encodersLayout->addWidget(labelled(dial, QString(), &position));
        m_dials.append(dial);
        m_dialValues.append(0);
        m_positions.append(position);
    }
    for (QHBoxLayout *layout : {m_ui->inputsLayout, m_ui->outputsLayout, m_ui->encodersLayout})
        layout->addStretch(1);
    m_ui->inputsLabel->setVisible(!board.inputs.isEmpty());
    m_ui->outputsLabel->setVisible(!board.outputs.isEmpty());
    m_ui->encodersLabel->setVisible(!board.encoders.isEmpty());
    refreshOutputs();
}

QString BoardPanel::pluggedText() const
{
    return m_host.boards().isPluggedIn(m_board.serial) ? tr("plugged in") : tr("unplugged");
}

QString BoardPanel::encoderText(int index) const
{
    const BoardInfo::Channel &channel = m_board.encoders.at(index);
    const QString name = channel.name.isEmpty() ? QString::number(channel.number) : channel.name;
    const std::optional<qint64> position = m_host.boards().isPluggedIn(m_board.serial)
        ? m_host.boards().encoderPosition(m_board.serial, channel.hubPort, channel.number)
        : std::nullopt;
    return position ? tr("%1: %2").arg(name).arg(*position) : tr("%1: -").arg(name);
}

BoardPanel::~BoardPanel() = default;

QString BoardPanel::channelFields(const BoardInfo::Channel &channel) const
{
    return channel.hubPort >= 0 ? QStringLiteral(" hubPort=%1").arg(channel.hubPort) : QString();
}

bool BoardPanel::push(const QString &command)
{
    QString error;
    const bool ok = m_host.pushStimulus(command, &error);
    emit stimulusPushed(command, ok ? QString() : error);
    return ok;
}

void BoardPanel::refreshOutputs()
{
    const QString plugged = pluggedText();
    if (m_plugged->text() != plugged) {
        m_plugged->setText(plugged);
        m_plugged->setStyleSheet(m_host.boards().isPluggedIn(m_board.serial)
                ? QStringLiteral("color: #208020; font-weight: bold;")
                : QStringLiteral("color: #808080;"));
    }
    for (int i = 0; i < m_positions.size(); ++i) {
        const QString text = encoderText(i);
        if (m_positions[i]->text() != text)
            m_positions[i]->setText(text);
    }
    // A script's digitalInput moves the toggle too; no stimulus goes back for it.
    for (int i = 0; i < m_inputs.size(); ++i) {
        const BoardInfo::Channel &channel = m_board.inputs[i];
        const bool state
            = m_host.boards().inputState(m_board.serial, channel.hubPort, channel.number);
        if (m_inputs[i]->isChecked() != state) {
            const QSignalBlocker blocker(m_inputs[i]);
            m_inputs[i]->setChecked(state);
        }
    }
    for (int i = 0; i < m_lamps.size(); ++i) {
        const BoardInfo::Channel &channel = m_board.outputs[i];
        const int state
            = m_host.boards().outputState(m_board.serial, channel.hubPort, channel.number);
        if (state == m_lampStates[i])
            continue;
        m_lampStates[i] = state;
        m_lamps[i]->setStyleSheet(lampStyle(state));
    }
}
