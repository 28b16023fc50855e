#include "RunClock.h"

#include "Device.h"
#include "Show.h"

#include <QCoreApplication>
#include <QThread>

#include <climits>

namespace {

// A device's count of results that its own threads still owe.
const char *const kPendingResultsName = "pendingResults";

} // namespace

RunClock::RunClock(QObject *parent)
    : QObject(parent)
{
    connect(&m_tickTimer, &QTimer::timeout, this, &RunClock::ticked);
    m_stopTimer.setSingleShot(true);
    m_stopTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_stopTimer, &QTimer::timeout, this, &RunClock::armStopTimer);
}

void RunClock::start(int tickMs, const std::vector<std::unique_ptr<Show>> &shows)
{
    m_owingDevices.clear();
    m_pendingWaitReported = false;
    for (const std::unique_ptr<Show> &show : shows) {
        for (Device *device : show->allDevices()) {
            if (device->metaObject()->indexOfProperty(kPendingResultsName) >= 0)
                m_owingDevices.append(device);
        }
    }
    m_tickMs = qMax(1, tickMs);
    m_virtualMs = 0;
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

void RunClock::stop()
{
    m_tickTimer.stop();
    m_stopTimer.stop();
    m_running = false;
}

qint64 RunClock::elapsedMs() const
{
    if (m_virtualTime)
        return m_virtualMs;
    return m_clock.isValid() ? m_clock.elapsed() : 0;
}

int RunClock::nextTimerInterval(qint64 remainingMs)
{
    return int(qBound(qint64(0), remainingMs, qint64(INT_MAX)));
}

void RunClock::armStopTimer()
{
    if (!m_running)
        return;
    if (m_deadline.hasExpired()) {
        emit lengthReached();
        return;
    }
    // Runs longer than an int of milliseconds wait in several steps.
    m_stopTimer.start(nextTimerInterval(m_deadline.remainingTime()));
}

QString RunClock::advance()
{
    if (!m_virtualTime)
        return QString();
    const QString warning = awaitPendingResults();
    m_virtualMs += m_tickMs;
    if (m_runLengthMs >= 0)
        m_virtualMs = qMin(m_virtualMs, m_runLengthMs);
    return warning;
}

qint64 RunClock::dueTime() const
{
    return m_runLengthMs >= 0 ? qMin(elapsedMs(), m_runLengthMs) : elapsedMs();
}

bool RunClock::virtualLengthReached() const
{
    return m_virtualTime && m_runLengthMs >= 0 && m_virtualMs >= m_runLengthMs;
}

void RunClock::keepPace()
{
    if (m_virtualTime)
        m_tickTimer.setInterval(m_tickMs);
}

QString RunClock::awaitPendingResults()
{
    // Work on a device's own thread (a ping probe) runs on the real clock; under virtual
    // time it takes no virtual time, so that its result lands on the same tick every run.
    QDeadlineTimer deadline(kPendingResultsWaitMs);
    for (const QPointer<Device> &device : std::as_const(m_owingDevices)) {
        while (device && device->property(kPendingResultsName).toInt() > 0) {
            if (deadline.hasExpired()) {
                QString warning;
                if (!m_pendingWaitReported) {
                    warning = QStringLiteral("warning: %1 #%2 still owes results after %3 ms; "
                                             "the run goes on without waiting for them")
                                  .arg(device->typeName())
                                  .arg(device->deviceNumber())
                                  .arg(kPendingResultsWaitMs);
                }
                m_pendingWaitReported = true;
                return warning;
            }
            // The results come as queued calls to the device: those alone are delivered
            // here, not the rest of the loop's work, which stays in its turn.
            QCoreApplication::sendPostedEvents(device, QEvent::MetaCall);
            if (device->property(kPendingResultsName).toInt() > 0)
                QThread::msleep(1);
        }
    }
    return QString();
}
