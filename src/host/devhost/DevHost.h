#pragma once

#include "BoardSim.h"
#include "HostRegistry.h"
#include "Reporter.h"
#include "Script.h"
#include "ShowFile.h"
#include "StimulusContext.h"
#include "SyncBus.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPair>
#include <QPointF>
#include <QPointer>
#include <QTextStream>
#include <QTimer>

#include <memory>
#include <vector>

class ANodeData;
class Device;
class Node;
class Show;

// The development host: loads plug-ins and a show, runs one Show per instance
// joined by the sync bus and reports every output change and every trigger fired.
// A script (the show's <stimuli> or a script file) applies stimuli and checks
// expectations at set times; a window pushes stimuli through pushStimulus().
//
// Threads: everything, the timers included, lives on the thread that made the host
// (the main thread, which runs every instance).
class DevHost : public QObject, public StimulusContext
{
    Q_OBJECT
public:
    // An expectation waits at least this many ticks after the last stimulus before it,
    // so that what the stimulus set off (sync messages relayed through the master)
    // has arrived, however late the ticks come on a loaded machine.
    static constexpr int SettleTicks = 5;
    // Under virtual time, how long a tick waits for the results a device's own threads
    // still owe (its "pendingResults" property), before it goes on without them.
    static constexpr int PendingResultsWaitMs = 5000;

    explicit DevHost(QTextStream &out, QObject *parent = nullptr);
    ~DevHost() override;

    HostRegistry &registry() { return m_registry; }
    SyncBus &bus() { return m_bus; }

    // Loads every plug-in of the directory and reports each failure with its reason.
    // False when the directory cannot be read.
    bool loadPlugins(const QString &directory, QString *error);
    bool loadShow(const QString &path, QString *error);
    bool loadShowText(const QByteArray &xml, QString *error);
    // The producer's copy as a show file.
    QString showText() const;
    bool saveShow(const QString &path, QString *error) const;

    const std::vector<std::unique_ptr<Show>> &instances() const override { return m_shows; }
    const QList<InstanceConfig> &instanceConfigs() const override { return m_file.instances(); }
    const ShowFile &showFile() const { return m_file; }
    // The file the show was loaded from; empty for a show given as text.
    QString showPath() const { return m_showPath; }

    // The entries run from start() on; the show's <stimuli> when a show is loaded.
    // False, keeping the previous ones, when an entry names what the show lacks.
    bool setScript(const Script &script, QString *error);
    const Script &script() const { return m_script; }
    // Time advances one tick per turn of the event loop, without waiting for the clock.
    void setVirtualTime(bool on) { m_virtualTime = on; }
    // The graph evaluation interval that start() was given.
    int tickMs() const { return m_tickMs; }
    bool virtualTime() const { return m_virtualTime; }
    // The run ends (finished()) after this many milliseconds; -1: when the script is done,
    // or never without a script.
    void setRunLength(qint64 ms) { m_runLengthMs = ms; }
    // Without a run length: the run goes on after the script (a window's simulated world
    // keeps taking stimuli) until endRun().
    void setRunsAfterScript(bool on) { m_runsAfterScript = on; }

    // What became of each entry of the script, by its index.
    enum class Outcome { Pending, Applied, Met, NotMet, NotChecked };
    struct EntryResult
    {
        Outcome outcome = Outcome::Pending;
        // Not met or not checked: why.
        QString problem;
    };
    const std::vector<EntryResult> &results() const { return m_results; }
    // Every entry has run, or the run ended before some of them.
    bool scriptDone() const { return m_nextEntry >= m_script.entries().size(); }

    // init() on the devices (on the master only for those active there only), the
    // master's full state to the others, then a tick every tickMs: the graphs are
    // evaluated and the scripted entries due are run.
    void start(int tickMs);
    // Stops the timers; what the script has not reached stays pending.
    void stop();
    // Ends the run as its length does: the expectations not reached are not checked.
    void endRun();
    bool isRunning() const { return m_running; }
    // Milliseconds since start(), of virtual time when that is on.
    qint64 elapsedMs() const;
    // One evaluation of every instance's graph, with the report of what changed.
    void evaluateAll();
    // Prints every sync message as it leaves its instance.
    void traceSync();
    // Prints the calls that reach the Phidget22 simulation, each tick.
    void tracePhidgetCalls(bool on) { m_tracePhidget = on; }
    BoardSim &boards() override { return m_boards; }
    const BoardSim &boards() const override { return m_boards; }

    // A stimulus at run time, in the script's text form without the time
    // ("touch server=1 output=0 x=10 y=20"): checked against the show now, applied at
    // the next tick. For a window's canvases and panels.
    bool pushStimulus(const QString &command, QString *error);
    // Reports a touch on output `output` of media server `server` to every touch screen
    // device of the instance that runs that server; the number of devices reached.
    int touch(int server, int output, const QPointF &pos) override;
    // How often trigger `trigger` of node `nodeId` fired on `show` since the show was loaded.
    int firedCount(const Show *show, int nodeId, int trigger) const override;
    void print(const QString &line) override;

    // One line per expectation that was not met or not checked, then a summary line;
    // empty for a run without expectations.
    QStringList expectationReport() const;
    // "expectations: all 3 met", "expectations: 1 met, 1 not met, 1 not checked (of 3)".
    QString expectationSummary() const;
    int expectationCount(Outcome outcome) const;
    // None was not met, and none was left unchecked.
    bool expectationsMet() const
    {
        return expectationCount(Outcome::NotMet) == 0 && expectationCount(Outcome::NotChecked) == 0;
    }

    // The text by which the console shows a value.
    static QString describe(const ANodeData *value) { return ValueText::describe(value); }
    // The next interval of a timer that waits `remainingMs` in steps Qt can take (a
    // timer's interval is an int of milliseconds).
    static int nextTimerInterval(qint64 remainingMs);

signals:
    // The run reached its length, or the end of its script.
    void finished();
    // Entry `index` of the script was applied or checked (results()[index]).
    void entryRun(int index);
    // Every entry of the script has run, or the run ended before some (once per run).
    void scriptEnded();
    // A console line, as print() writes it (for a window's log).
    void printed(const QString &line);
    // touch() reported a touch on that output (scripted or pushed).
    void touched(int server, int output, const QPointF &pos);

private:
    bool buildInstances(QString *error);
    void onTick();
    void runEntries(qint64 now);
    void awaitPendingResults();
    void armStopTimer();
    void finish();

    HostRegistry m_registry;
    SyncBus m_bus;
    ShowFile m_file;
    QString m_showPath;
    std::vector<std::unique_ptr<Show>> m_shows;
    QTimer m_tickTimer;
    Reporter m_reporter;

    BoardSim m_boards;
    bool m_tracePhidget = false;
    Script m_script;
    size_t m_nextEntry = 0;
    std::vector<ScriptEntry> m_pushed;
    int m_ticksSinceStimulus = SettleTicks;
    int m_ticksAfterScript = 0;
    bool m_virtualTime = false;
    int m_tickMs = 20;
    qint64 m_virtualMs = 0;
    QElapsedTimer m_clock;
    qint64 m_runLengthMs = -1;
    QDeadlineTimer m_deadline;
    QTimer m_stopTimer;
    bool m_running = false;
    // The devices that say what their threads still owe ("pendingResults"), found at start().
    QList<QPointer<Device>> m_owingDevices;
    bool m_pendingWaitReported = false;
    bool m_runsAfterScript = false;
    bool m_scriptEndAnnounced = false;
    // Parallel to m_script.entries().
    std::vector<EntryResult> m_results;
};
