#pragma once

#include "Script.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class RunClock;
class StimulusContext;

// Runs a script's entries as they fall due, and the stimuli pushed at run time, against the
// host's StimulusContext; keeps what became of each entry and reports the expectations.
//
// Threads: the host's thread, from the clock's ticks.
class ScriptRunner : public QObject
{
    Q_OBJECT
public:
    // An expectation waits at least this many ticks after the last stimulus before it,
    // so that what the stimulus set off (sync messages relayed through the master)
    // has arrived, however late the ticks come on a loaded machine.
    static constexpr int kSettleTicks = 5;

    // What became of each entry of the script, by its index.
    enum class Outcome { Pending, Applied, Met, NotMet, NotChecked };
    struct EntryResult
    {
        Outcome outcome = Outcome::Pending;
        // Not met or not checked: why.
        QString problem;
    };

    // `beforeCheck` runs before each expectation is checked: what the devices' own threads
    // set off is handed over first.
    ScriptRunner(StimulusContext &context, RunClock &clock, std::function<void()> beforeCheck,
        QObject *parent = nullptr);

    // False, keeping the previous script, when an entry names what the show lacks.
    bool setScript(const Script &script, QString *error);
    // No script (the show it was checked against is gone).
    void dropScript() { m_script = Script(); }
    const Script &script() const { return m_script; }
    const std::vector<EntryResult> &results() const { return m_results; }
    // Every entry has run, or the run ended before some of them.
    bool scriptDone() const { return m_nextEntry >= m_script.entries().size(); }
    // Without a run length: the run goes on after the script.
    void setRunsAfterScript(bool on) { m_runsAfterScript = on; }
    bool runsAfterScript() const { return m_runsAfterScript; }

    // A stimulus in the text form without the time, checked now, applied at the next tick.
    bool push(const QString &command, QString *error);

    // From the first entry, every result pending.
    void start();
    // The pushed stimuli, then the entries due at `now` (in milliseconds of the run).
    void runDue(qint64 now);
    // Without a run length the run ends once the script is done and has settled, unless
    // the world goes on after it. Counts the ticks after the script.
    bool settledAfterScript();
    // The expectations not reached are not checked.
    void endRun();

    // One line per expectation that was not met or not checked, then a summary line;
    // empty for a script without expectations.
    QStringList expectationReport() const;
    // "expectations: all 3 met", "expectations: 1 met, 1 not met, 1 not checked (of 3)".
    QString expectationSummary() const;
    int expectationCount(Outcome outcome) const;

signals:
    // Entry `index` of the script was applied or checked (results()[index]).
    void entryRun(int index);
    // Every entry of the script has run, or the run ended before some (once per run).
    void scriptEnded();

private:
    StimulusContext &m_context;
    RunClock &m_clock;
    std::function<void()> m_beforeCheck;
    Script m_script;
    size_t m_nextEntry = 0;
    std::vector<ScriptEntry> m_pushed;
    int m_ticksSinceStimulus = kSettleTicks;
    int m_ticksAfterScript = 0;
    bool m_runsAfterScript = false;
    bool m_scriptEndAnnounced = false;
    // Parallel to m_script.entries().
    std::vector<EntryResult> m_results;
};
