#pragma once

#include <QGroupBox>
#include <QList>
#include <QString>

#include <memory>

class DevHost;
class QDial;
class QLabel;
class QPushButton;

namespace Ui {
class BoardPanel;
}

// A board that the show's Phidget devices name, with its channels as they configure them.
struct BoardInfo
{
    struct Channel
    {
        int hubPort = -1;
        int number = 0;
        QString name;
    };
    int serial = -1;
    QString deviceName;
    // The instance whose machine the board is plugged into.
    QString instance;
    QList<Channel> inputs;
    QList<Channel> outputs;
    QList<Channel> encoders;

    // From the producer's copy of every "Phidget" device (its stored form), one per serial.
    static QList<BoardInfo> fromShow(const DevHost &host);
    // The stimulus that defines the board with these channels and plugs it in.
    QString attachCommand() const;
};

// A simulated board: its digital inputs as toggles, its digital outputs as lamps and its
// encoders as dials. Every action is a stimulus pushed to the host, as a script's would be.
// GUI thread only.
class BoardPanel : public QGroupBox
{
    Q_OBJECT
public:
    BoardPanel(DevHost &host, const BoardInfo &board, QWidget *parent = nullptr);
    ~BoardPanel() override;

    const BoardInfo &board() const { return m_board; }
    QPushButton *inputButton(int index) const { return m_inputs.value(index); }
    QDial *encoderDial(int index) const { return m_dials.value(index); }
    // The toggles follow the inputs' states, the lamps what the board drives on its outputs,
    // the labels under the dials the encoders' positions, and the state line whether the
    // board is plugged in.
    void refreshOutputs();
    QString pluggedText() const;
    QString encoderText(int index) const;

signals:
    // After each action: the command, and the reason when the host refused it.
    void stimulusPushed(const QString &command, const QString &error);

private:
    bool push(const QString &command);
    QString channelFields(const BoardInfo::Channel &channel) const;

    std::unique_ptr<Ui::BoardPanel> m_ui;
    DevHost &m_host;
    BoardInfo m_board;
    QList<QPushButton *> m_inputs;
    QList<QLabel *> m_lamps;
    QList<int> m_lampStates;
    QList<QDial *> m_dials;
    QList<int> m_dialValues;
    QList<QLabel *> m_positions;
    QLabel *m_plugged = nullptr;
};
