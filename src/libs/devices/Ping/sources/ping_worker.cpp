#include "ping_worker.h"

#include "ping_command.h"

#include <LMLog.h>

#include <QMutex>
#include <QMutexLocker>
#include <QTimer>

#include <climits>

namespace {
const int kMaxIntervalSec = INT_MAX / 1000;

// Set by a test's thread, read by whichever thread creates a worker.
QMutex s_programMutex;
QString s_program;

QString programToStart()
{
    QMutexLocker lock(&s_programMutex);
    return s_program.isEmpty() ? PingCommand::defaultProgram() : s_program;
}
} // namespace

PingWorker::PingWorker(const QString &host, int intervalSec)
    : m_host(host)
    , m_program(programToStart())
    , m_intervalMs(effectiveIntervalMs(intervalSec))
{
    qRegisterMetaType<QProcess::ExitStatus>("QProcess::ExitStatus");
}

PingWorker::~PingWorker()
{
    // A probe still running when the thread ends is cut short, without a result.
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

void PingWorker::setProgram(const QString &program)
{
    QMutexLocker lock(&s_programMutex);
    s_program = program;
}

int PingWorker::effectiveIntervalMs(int intervalSec)
{
    // A zero interval would tick continuously; a huge one would overflow.
    return qBound(1, intervalSec, kMaxIntervalSec) * 1000;
}

void PingWorker::init()
{
    m_process = new QProcess(this);
    connect(m_process, &QProcess::finished, this, &PingWorker::onFinished);
    connect(m_process, &QProcess::errorOccurred, this, &PingWorker::onProcessError);

    m_timer = new QTimer(this);
    m_timer->setInterval(m_intervalMs);
    connect(m_timer, &QTimer::timeout, this, &PingWorker::onTimerTick);
    m_timer->start();

    onTimerTick();
}

void PingWorker::onTimerTick()
{
    if (m_busy)
        return;

    // ping would take such a host as an option ("-t" never ends, "-f" floods).
    if (PingCommand::isOptionLike(m_host)) {
        if (!m_optionHostReported && LMLog::modeContains(LOG::WARNING))
            qCWarning(LMLog::s_lmLogCat).noquote()
                << QStringLiteral("[PING] host %1 begins with '%2' and would be read as an "
                                  "option; not probed, reported unreachable")
                       .arg(m_host, m_host.left(1));
        m_optionHostReported = true;
        emit reachabilityChanged(false);
        return;
    }

    m_busy = true;
    m_process->start(m_program, PingCommand::arguments(m_host));
}

void PingWorker::onFinished(int exitCode, QProcess::ExitStatus status)
{
    Q_UNUSED(status)
    finishProbe(PingCommand::isReachable(exitCode, *m_process));
}

void PingWorker::onProcessError(QProcess::ProcessError error)
{
    if (LMLog::modeContains(LOG::WARNING))
        qCWarning(LMLog::s_lmLogCat).noquote()
            << QStringLiteral("[PING] process error %1 for host %2").arg(int(error)).arg(m_host);

    // No finished signal follows a failed start: without this the worker would stay busy.
    if (error == QProcess::FailedToStart && m_busy)
        finishProbe(false);
}

void PingWorker::finishProbe(bool reachable)
{
    m_busy = false;
    emit reachabilityChanged(reachable);
}
