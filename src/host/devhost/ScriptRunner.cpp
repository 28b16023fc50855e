#include "ScriptRunner.h"

#include "RunClock.h"
#include "StimulusContext.h"

#include <algorithm>

ScriptRunner::ScriptRunner(
    StimulusContext &context, RunClock &clock, std::function<void()> beforeCheck, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_clock(clock)
    , m_beforeCheck(std::move(beforeCheck))
{ }

bool ScriptRunner::setScript(const Script &script, QString *error)
{
    if (!script.check(m_context, error))
        return false;
    m_script = script;
    m_nextEntry = 0;
    m_results.assign(m_script.entries().size(), EntryResult());
    return true;
}

bool ScriptRunner::push(const QString &command, QString *error)
{
    ScriptEntry entry;
    if (!Script::parseCommand(command, &entry, error))
        return false;
    if (entry.check) {
        const QString problem = entry.check(m_context);
        if (!problem.isEmpty()) {
            if (error)
                *error = QStringLiteral("%1: %2").arg(entry.kind, problem);
            return false;
        }
    }
    m_pushed.push_back(std::move(entry));
    return true;
}

void ScriptRunner::start()
{
    m_nextEntry = 0;
    m_ticksSinceStimulus = kSettleTicks;
    m_ticksAfterScript = 0;
    m_results.assign(m_script.entries().size(), EntryResult());
    m_scriptEndAnnounced = false;
}

void ScriptRunner::runDue(qint64 now)
{
    for (ScriptEntry &entry : m_pushed) {
        if (entry.apply)
            entry.apply(m_context);
        m_ticksSinceStimulus = 0;
    }
    m_pushed.clear();
    const std::vector<ScriptEntry> &entries = m_script.entries();
    while (m_nextEntry < entries.size()) {
        const ScriptEntry &entry = entries[m_nextEntry];
        if (entry.atMs > now)
            break;
        if (entry.expectation) {
            // In order: a later entry waits for this one.
            if (m_ticksSinceStimulus < kSettleTicks)
                break;
            if (m_beforeCheck)
                m_beforeCheck();
            const std::optional<QString> problem = entry.verify(m_context);
            EntryResult &result = m_results[m_nextEntry];
            result.outcome = problem ? Outcome::NotMet : Outcome::Met;
            if (problem)
                result.problem = QStringLiteral("line %1: %2").arg(entry.line).arg(*problem);
        } else {
            entry.apply(m_context);
            m_results[m_nextEntry].outcome = Outcome::Applied;
            m_ticksSinceStimulus = 0;
        }
        ++m_nextEntry;
        emit entryRun(int(m_nextEntry - 1));
        if (!m_clock.isRunning())
            return;
    }
    if (m_ticksSinceStimulus < kSettleTicks)
        ++m_ticksSinceStimulus;
    if (scriptDone() && !m_script.isEmpty() && !m_scriptEndAnnounced) {
        m_scriptEndAnnounced = true;
        // Under virtual time the world goes on at the clock's pace, not in a busy loop.
        if (m_runsAfterScript)
            m_clock.keepPace();
        emit scriptEnded();
    }
}

bool ScriptRunner::settledAfterScript()
{
    return m_clock.runLength() < 0 && !m_runsAfterScript && !m_script.isEmpty() && scriptDone()
        && ++m_ticksAfterScript > kSettleTicks;
}

void ScriptRunner::endRun()
{
    const std::vector<ScriptEntry> &entries = m_script.entries();
    const bool announce = !m_scriptEndAnnounced && !entries.empty();
    for (; m_nextEntry < entries.size(); ++m_nextEntry) {
        const ScriptEntry &entry = entries[m_nextEntry];
        if (!entry.expectation)
            continue;
        EntryResult &result = m_results[m_nextEntry];
        result.outcome = Outcome::NotChecked;
        result.problem = QStringLiteral("line %1: %2 at %3 s: the run ended at %4 s")
                             .arg(entry.line)
                             .arg(entry.kind)
                             .arg(double(entry.atMs) / 1000.0)
                             .arg(double(m_clock.elapsedMs()) / 1000.0);
        emit entryRun(int(m_nextEntry));
    }
    if (announce) {
        m_scriptEndAnnounced = true;
        emit scriptEnded();
    }
}

int ScriptRunner::expectationCount(Outcome outcome) const
{
    return int(std::count_if(m_results.cbegin(), m_results.cend(),
        [outcome](const EntryResult &r) { return r.outcome == outcome; }));
}

QString ScriptRunner::expectationSummary() const
{
    const int total = m_script.expectationCount();
    const int met = expectationCount(Outcome::Met);
    if (total == 0)
        return QString();
    if (met == total)
        return QStringLiteral("expectations: all %1 met").arg(total);
    QStringList parts {QStringLiteral("%1 met").arg(met)};
    if (const int notMet = expectationCount(Outcome::NotMet))
        parts.append(QStringLiteral("%1 not met").arg(notMet));
    if (const int notChecked = expectationCount(Outcome::NotChecked))
        parts.append(QStringLiteral("%1 not checked").arg(notChecked));
    if (const int pending
        = total - met - expectationCount(Outcome::NotMet) - expectationCount(Outcome::NotChecked))
        parts.append(QStringLiteral("%1 pending").arg(pending));
    return QStringLiteral("expectations: %1 (of %2)")
        .arg(parts.join(QStringLiteral(", ")))
        .arg(total);
}

QStringList ScriptRunner::expectationReport() const
{
    QStringList lines;
    if (m_script.expectationCount() == 0)
        return lines;
    for (const EntryResult &result : m_results) {
        if (result.outcome == Outcome::NotMet)
            lines.append(QStringLiteral("expectation not met: %1").arg(result.problem));
        else if (result.outcome == Outcome::NotChecked)
            lines.append(QStringLiteral("expectation not checked: %1").arg(result.problem));
    }
    lines.append(expectationSummary());
    return lines;
}
