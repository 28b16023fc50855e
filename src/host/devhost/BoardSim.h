#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// Simulated Phidget boards for scripted board events. The control calls of the Phidget22
// stand-in (lmsim_phidget_*) are found at run time in the Phidget22 library that the Phidget
// plug-in loaded (libphidget22.so.0, phidget22.dll; SimLibrary.h), so that the host runs
// unchanged against the vendor's library (without board events then).
//
// Every instance of a show lives in this process, so they share one Phidget22 library: one
// server of this process per address, one client entry per address, any number of channel
// handles on a board channel. Each instance's runtime starts or joins the server and opens
// its own channels on that one simulation.
//
// Threads: used on the host's thread only; the simulation's calls are thread-safe and its
// handlers run on its own dispatcher thread.
class BoardSim
{
public:
    // The longest wait for the simulation's handlers to have run.
    static constexpr int kIdleTimeoutMs = 5000;

    BoardSim();
    ~BoardSim();
    BoardSim(const BoardSim &) = delete;
    BoardSim &operator=(const BoardSim &) = delete;

    // Resolves the control calls on first use. False with the reason when there is no
    // simulation to drive (no Phidget22 library, or one without the control calls).
    bool available(QString *reason = nullptr) const;
    // Boards were attached by the script: their handlers must have run before a check.
    bool inUse() const { return !m_boards.isEmpty(); }

    // Each returns the console line of what happened (or why it failed).
    QString attach(int serial, const QString &machine, const QString &instance, int hubPorts,
        int hubPort, bool hubPortDevice, int inputs, int outputs, int encoders);
    QString detach(int serial);
    QString setInput(int serial, int hubPort, int channel, bool state);
    QString turnEncoder(int serial, int hubPort, int channel, int counts);
    QString setServerAlive(const QString &address, const QString &instance, bool alive);
    // The state the board drives on a digital output; -1 when it cannot be read.
    int outputState(int serial, int hubPort, int channel) const;
    // The state this host last gave a digital input (false before any): scripts and the
    // window's toggles both go through setInput.
    bool inputState(int serial, int hubPort, int channel) const
    {
        return m_boards.value(serial).inputs.value({hubPort, channel}, false);
    }
    // An encoder's position; nullopt when it cannot be read.
    std::optional<qint64> encoderPosition(int serial, int hubPort, int channel) const;
    // Whether the board is plugged into its machine, as this host's events left it.
    bool isPluggedIn(int serial) const { return m_boards.value(serial).pluggedIn; }

    // The digital outputs that changed since the last call, as console lines.
    QStringList pollOutputs();
    // Returns once the handlers of everything done so far have run (bounded).
    void waitIdle();
    // The lines the simulation's call log gained since the last call.
    QStringList newLogLines();

    // "true" or "false", as board lines give a state.
    static QString stateText(bool state);
    // "digital output 0", or "hub port 2 digital output 0" on a hub.
    static QString channelText(int hubPort, const QString &kind, int channel);

private:
    struct Api;
    struct Board
    {
        int hubPort = -1;
        int outputs = 0;
        QList<int> lastOutputs;
        // (hub port, channel) -> state, as setInput left it.
        QMap<std::pair<int, int>, bool> inputs;
        bool pluggedIn = false;
    };
    QString failure(int serial, const QString &what, int code) const;

    mutable std::unique_ptr<Api> m_api;
    mutable bool m_resolved = false;
    mutable QString m_reason;
    QMap<int, Board> m_boards;
    QString m_logSeen;
};
