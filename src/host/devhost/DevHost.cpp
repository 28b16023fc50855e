#include "DevHost.h"

#include "Device.h"
#include "INodeController.h"
#include "NodeData.h"
#include "NodeGraph.h"
#include "Show.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QSaveFile>
#include <QThread>

#include <LMLog.h>

#include <algorithm>
#include <climits>

namespace {

const QString stimuliTag = QStringLiteral("stimuli");
const QString touchScreenType = QStringLiteral("TouchScreen");
// A device's count of results that its own threads still owe.
const char *const pendingResultsName = "pendingResults";

} // namespace

DevHost::DevHost(QTextStream &out, QObject *parent)
    : QObject(parent)
    , m_reporter(out)
{
    connect(&m_reporter, &Reporter::printed, this, &DevHost::printed);
    HostCallbacks callbacks;
    callbacks.reportMessage = [this](const QString &message) { print(message); };
    callbacks.markShowModified = [] {};
    callbacks.mainWindow = []() -> QWidget * { return nullptr; };
    // Descriptors chosen in editors are resolved in the producer's copy.
    callbacks.currentShow
        = [this]() -> Show * { return m_shows.empty() ? nullptr : m_shows.front().get(); };
    m_registry.setCallbacks(callbacks);
    connect(&m_tickTimer, &QTimer::timeout, this, &DevHost::onTick);
    m_stopTimer.setSingleShot(true);
    m_stopTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_stopTimer, &QTimer::timeout, this, &DevHost::armStopTimer);
}

DevHost::~DevHost()
{
    stop();
    // Shows (devices, controllers) go before the plug-ins that made them.
    m_shows.clear();
}

void DevHost::print(const QString &line)
{
    m_reporter.print(line);
}

bool DevHost::loadPlugins(const QString &directory, QString *error)
{
    const QDir dir(directory);
    if (!dir.exists() || !dir.isReadable()) {
        if (error)
            *error = QStringLiteral("plug-in directory %1 cannot be read").arg(directory);
        return false;
    }
    const QList<HostRegistry::PluginLoad> loads
        = m_registry.loadPluginDirectory(dir.absolutePath());
    for (const HostRegistry::PluginLoad &load : loads) {
        const QString file = QFileInfo(load.fileName).fileName();
        if (load.ok)
            print(QStringLiteral("plug-in %1: device type \"%2\"").arg(file, load.deviceType));
        else
            print(QStringLiteral("plug-in %1 failed to load: %2").arg(file, load.error));
    }
    return true;
}

bool DevHost::loadShow(const QString &path, QString *error)
{
    m_showPath = path;
    return m_file.load(path, error) && buildInstances(error);
}

bool DevHost::loadShowText(const QByteArray &xml, QString *error)
{
    m_showPath.clear();
    return m_file.parse(xml, error) && buildInstances(error);
}

bool DevHost::buildInstances(QString *error)
{
    stop();
    m_reporter.clear();
    m_shows.clear();
    m_script = Script();
    for (const InstanceConfig &inst : m_file.instances()) {
        auto show = std::make_unique<Show>(m_registry.registry());
        if (!m_file.populate(*show, inst, m_registry, error)) {
            m_shows.clear();
            return false;
        }
        m_bus.attach(show.get());
        m_reporter.watch(show.get());
        m_shows.push_back(std::move(show));
    }
    // The scripted entries are part of the show: refused with it, before any run.
    QDomElement stimuli;
    for (const QDomElement &section : m_file.otherSections()) {
        if (section.tagName() != stimuliTag)
            continue;
        if (!stimuli.isNull()) {
            if (error)
                *error
                    = QStringLiteral("<stimuli> given twice (line %1)").arg(section.lineNumber());
            m_shows.clear();
            return false;
        }
        stimuli = section;
    }
    Script script;
    if (!script.parseSection(stimuli, QStringLiteral("stimuli"), error)
        || !setScript(script, error)) {
        m_shows.clear();
        return false;
    }
    return true;
}

bool DevHost::setScript(const Script &script, QString *error)
{
    if (!script.check(*this, error))
        return false;
    m_script = script;
    m_nextEntry = 0;
    m_results.assign(m_script.entries().size(), EntryResult());
    return true;
}

QString DevHost::showText() const
{
    if (m_shows.empty())
        return QString();
    return ShowFile::save(
        *m_shows.front(), m_file.showName(), m_file.instances(), m_file.otherSections());
}

bool DevHost::saveShow(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    file.write(showText().toUtf8());
    if (!file.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

void DevHost::start(int tickMs)
{
    for (const std::unique_ptr<Show> &show : m_shows) {
        for (Device *device : show->allDevices()) {
            if (show->isMaster() || !device->isActiveOnMasterOnly())
                device->init();
        }
    }
    for (const std::unique_ptr<Show> &show : m_shows) {
        if (show->isMaster())
            m_bus.sendFullState(show.get());
    }
    m_owingDevices.clear();
    m_pendingWaitReported = false;
    for (const std::unique_ptr<Show> &show : m_shows) {
        for (Device *device : show->allDevices()) {
            if (device->metaObject()->indexOfProperty(pendingResultsName) >= 0)
                m_owingDevices.append(device);
        }
    }
    m_tickMs = qMax(1, tickMs);
    m_virtualMs = 0;
    m_nextEntry = 0;
    m_ticksSinceStimulus = SettleTicks;
    m_ticksAfterScript = 0;
    m_results.assign(m_script.entries().size(), EntryResult());
    m_scriptEndAnnounced = false;
    m_running = true;
    m_clock.start();
    // Virtual time: a tick per turn of the event loop, so that queued sync messages
    // are delivered between ticks as they are on the real clock.
    m_tickTimer.start(m_virtualTime ? 0 : m_tickMs);
    if (m_runLengthMs >= 0 && !m_virtualTime) {
        m_deadline = QDeadlineTimer(m_runLengthMs, Qt::PreciseTimer);
        // Never finished from here, even for 0: the caller's event loop is not running yet.
        m_stopTimer.start(nextTimerInterval(m_deadline.remainingTime()));
    }
}

void DevHost::stop()
{
    m_tickTimer.stop();
    m_stopTimer.stop();
    m_running = false;
}

qint64 DevHost::elapsedMs() const
{
    if (m_virtualTime)
        return m_virtualMs;
    return m_clock.isValid() ? m_clock.elapsed() : 0;
}

int DevHost::nextTimerInterval(qint64 remainingMs)
{
    return int(qBound(qint64(0), remainingMs, qint64(INT_MAX)));
}

void DevHost::armStopTimer()
{
    if (!m_running)
        return;
    if (m_deadline.hasExpired()) {
        finish();
        return;
    }
    // Runs longer than an int of milliseconds wait in several steps.
    m_stopTimer.start(nextTimerInterval(m_deadline.remainingTime()));
}

void DevHost::onTick()
{
    if (m_virtualTime) {
        awaitPendingResults();
        m_virtualMs += m_tickMs;
        if (m_runLengthMs >= 0)
            m_virtualMs = qMin(m_virtualMs, m_runLengthMs);
    }
    evaluateAll();
    if (m_tracePhidget) {
        for (const QString &line : m_boards.newLogLines())
            print(QStringLiteral("[phidget22] %1").arg(line));
    }
    // Writes the graphs made since the last tick have completed on the simulation's thread.
    if (m_boards.inUse())
        m_boards.waitIdle();
    for (const QString &line : m_boards.pollOutputs())
        print(line);
    // Entries beyond the run's length are never reached, however late this tick is.
    const qint64 now = m_runLengthMs >= 0 ? qMin(elapsedMs(), m_runLengthMs) : elapsedMs();
    runEntries(now);
    if (!m_running)
        return;
    if (m_virtualTime && m_runLengthMs >= 0 && m_virtualMs >= m_runLengthMs) {
        finish();
        return;
    }
    // Without a length the run ends once the script is done and has settled, unless
    // the world goes on after it.
    if (m_runLengthMs < 0 && !m_runsAfterScript && !m_script.isEmpty() && scriptDone()
        && ++m_ticksAfterScript > SettleTicks) {
        finish();
    }
}

void DevHost::awaitPendingResults()
{
    // Work on a device's own thread (a ping probe) runs on the real clock; under virtual
    // time it takes no virtual time, so that its result lands on the same tick every run.
    QDeadlineTimer deadline(PendingResultsWaitMs);
    for (const QPointer<Device> &device : std::as_const(m_owingDevices)) {
        while (device && device->property(pendingResultsName).toInt() > 0) {
            if (deadline.hasExpired()) {
                if (!m_pendingWaitReported) {
                    print(QStringLiteral("warning: %1 #%2 still owes results after %3 ms; the "
                                         "run goes on without waiting for them")
                              .arg(device->typeName())
                              .arg(device->deviceNumber())
                              .arg(PendingResultsWaitMs));
                }
                m_pendingWaitReported = true;
                return;
            }
            // The results come as queued calls to the device: those alone are delivered
            // here, not the rest of the loop's work, which stays in its turn.
            QCoreApplication::sendPostedEvents(device, QEvent::MetaCall);
            if (device->property(pendingResultsName).toInt() > 0)
                QThread::msleep(1);
        }
    }
}

void DevHost::runEntries(qint64 now)
{
    for (ScriptEntry &entry : m_pushed) {
        if (entry.apply)
            entry.apply(*this);
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
            if (m_ticksSinceStimulus < SettleTicks)
                break;
            // What the boards' handlers set off has been queued here.
            if (m_boards.inUse())
                m_boards.waitIdle();
            const std::optional<QString> problem = entry.verify(*this);
            EntryResult &result = m_results[m_nextEntry];
            result.outcome = problem ? Outcome::NotMet : Outcome::Met;
            if (problem)
                result.problem = QStringLiteral("line %1: %2").arg(entry.line).arg(*problem);
        } else {
            entry.apply(*this);
            m_results[m_nextEntry].outcome = Outcome::Applied;
            m_ticksSinceStimulus = 0;
        }
        ++m_nextEntry;
        emit entryRun(int(m_nextEntry - 1));
        if (!m_running)
            return;
    }
    if (m_ticksSinceStimulus < SettleTicks)
        ++m_ticksSinceStimulus;
    if (scriptDone() && !m_script.isEmpty() && !m_scriptEndAnnounced) {
        m_scriptEndAnnounced = true;
        // Under virtual time the world goes on at the clock's pace, not in a busy loop.
        if (m_virtualTime && m_runsAfterScript)
            m_tickTimer.setInterval(m_tickMs);
        emit scriptEnded();
    }
}

void DevHost::finish()
{
    if (!m_running)
        return;
    endRun();
    emit finished();
}

void DevHost::endRun()
{
    if (!m_running)
        return;
    stop();
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
                             .arg(double(elapsedMs()) / 1000.0);
        emit entryRun(int(m_nextEntry));
    }
    if (announce) {
        m_scriptEndAnnounced = true;
        emit scriptEnded();
    }
}

int DevHost::expectationCount(Outcome outcome) const
{
    return int(std::count_if(m_results.cbegin(), m_results.cend(),
        [outcome](const EntryResult &r) { return r.outcome == outcome; }));
}

QString DevHost::expectationSummary() const
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

QStringList DevHost::expectationReport() const
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

bool DevHost::pushStimulus(const QString &command, QString *error)
{
    ScriptEntry entry;
    if (!Script::parseCommand(command, &entry, error))
        return false;
    if (entry.check) {
        const QString problem = entry.check(*this);
        if (!problem.isEmpty()) {
            if (error)
                *error = QStringLiteral("%1: %2").arg(entry.kind, problem);
            return false;
        }
    }
    m_pushed.push_back(std::move(entry));
    return true;
}

int DevHost::touch(int server, int output, const QPointF &pos)
{
    Show *show = mediaServerInstance(server);
    if (!show)
        return 0;
    QString outputName;
    if (const Screen *screen = show->getMediaServers().value(server);
        screen && screen->screenSet()) {
        for (const ScreenOutput &o : screen->screenSet()->getScreenOutputs()) {
            if (o.id() == output)
                outputName = QStringLiteral(" \"%1\"").arg(o.getName());
        }
    }
    print(QStringLiteral("[%1] touch (%2, %3) on output %4%5")
              .arg(show->instanceName(),
                  QString::number(pos.x(), 'g', QLocale::FloatingPointShortest),
                  QString::number(pos.y(), 'g', QLocale::FloatingPointShortest),
                  QString::number(output), outputName));
    emit touched(server, output, pos);
    int reached = 0;
    for (Device *device : show->devicesOfType(touchScreenType)) {
        // By name: the host knows the slot, not the plug-in's class. Direct: the
        // device lives on this thread, as every instance does here.
        if (QMetaObject::invokeMethod(device, "onServerOutputTouched", Qt::DirectConnection,
                Q_ARG(int, server), Q_ARG(int, output), Q_ARG(QPointF, pos))) {
            ++reached;
        } else {
            print(QStringLiteral("[%1] touch screen device #%2 has no slot "
                                 "onServerOutputTouched(int, int, QPointF)")
                      .arg(show->instanceName(), QString::number(device->deviceNumber())));
        }
    }
    return reached;
}

int DevHost::firedCount(const Show *show, int nodeId, int trigger) const
{
    return m_reporter.firedCount(show, nodeId, trigger);
}

void DevHost::evaluateAll()
{
    for (const std::unique_ptr<Show> &show : m_shows)
        show->graph().evaluate();
}

void DevHost::traceSync()
{
    m_reporter.traceSync(m_bus);
}
