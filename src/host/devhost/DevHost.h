#pragma once

#include "BoardSim.h"
#include "HostRegistry.h"
#include "Reporter.h"
#include "RunClock.h"
#include "Script.h"
#include "ScriptRunner.h"
#include "ShowFile.h"
#include "StimulusContext.h"
#include "SyncBus.h"
#include "ValueText.h"

#include <QObject>
#include <QPointF>
#include <QStringList>

#include <memory>
#include <vector>

class ANodeData;
class QTextStream;
class Show;

// The development host: loads plug-ins and a show, runs one Show per instance
// joined by the sync bus and reports every output change and every trigger fired.
// A script (the show's <stimuli> or a script file) applies stimuli and checks
// expectations at set times; a window pushes stimuli through pushStimulus().
//
// It puts the rooms together: the loading (ShowFile), the run (RunClock, ScriptRunner,
// Reporter) and the board simulation, and it is the StimulusContext of the stimulus kinds.
//
// Threads: everything, the timers included, lives on the thread that made the host
// (the main thread, which runs every instance).
class DevHost : public QObject, public StimulusContext
{
    Q_OBJECT
public:
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
    const Script &script() const { return m_runner.script(); }
    // Time advances one tick per turn of the event loop, without waiting for the clock.
    void setVirtualTime(bool on) { m_clock.setVirtualTime(on); }
    // The graph evaluation interval that start() was given.
    int tickMs() const { return m_clock.tickMs(); }
    bool virtualTime() const { return m_clock.virtualTime(); }
    // The run ends (finished()) after this many milliseconds; -1: when the script is done,
    // or never without a script.
    void setRunLength(qint64 ms) { m_clock.setRunLength(ms); }
    // Without a run length: the run goes on after the script (a window's simulated world
    // keeps taking stimuli) until endRun().
    void setRunsAfterScript(bool on) { m_runner.setRunsAfterScript(on); }

    // What became of each entry of the script, by its index.
    const std::vector<ScriptRunner::EntryResult> &results() const { return m_runner.results(); }
    // Every entry has run, or the run ended before some of them.
    bool scriptDone() const { return m_runner.scriptDone(); }

    // init() on the devices (on the master only for those active there only), the
    // master's full state to the others, then a tick every tickMs: the graphs are
    // evaluated and the scripted entries due are run.
    void start(int tickMs);
    // Stops the timers; what the script has not reached stays pending.
    void stop();
    // Ends the run as its length does: the expectations not reached are not checked.
    void endRun();
    bool isRunning() const { return m_clock.isRunning(); }
    // Milliseconds since start(), of virtual time when that is on.
    qint64 elapsedMs() const { return m_clock.elapsedMs(); }
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
    QStringList expectationReport() const { return m_runner.expectationReport(); }
    // "expectations: all 3 met", "expectations: 1 met, 1 not met, 1 not checked (of 3)".
    QString expectationSummary() const { return m_runner.expectationSummary(); }
    int expectationCount(ScriptRunner::Outcome outcome) const
    {
        return m_runner.expectationCount(outcome);
    }
    // None was not met, and none was left unchecked.
    bool expectationsMet() const
    {
        return expectationCount(ScriptRunner::Outcome::NotMet) == 0
            && expectationCount(ScriptRunner::Outcome::NotChecked) == 0;
    }

    // The text by which the console shows a value (ValueText::describe).
    static QString describe(const ANodeData *value) { return ValueText::describe(value); }
    // RunClock::nextTimerInterval.
    static int nextTimerInterval(qint64 remainingMs)
    {
        return RunClock::nextTimerInterval(remainingMs);
    }

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
    void finish();

    // Loading: the plug-ins, the show file and one copy of the show per instance.
    HostRegistry m_registry;
    SyncBus m_bus;
    ShowFile m_file;
    QString m_showPath;
    std::vector<std::unique_ptr<Show>> m_shows;
    // The run.
    Reporter m_reporter;
    BoardSim m_boards;
    bool m_tracePhidget = false;
    RunClock m_clock;
    ScriptRunner m_runner;
};
