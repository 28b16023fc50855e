#include "ping_worker.h"

#include <LMLog.h>

#include <QTimer>

#include <climits>

namespace {
const int kMaxIntervalSec = INT_MAX / 1000;
}

PingWorker::PingWorker(const QString &host, int intervalSec)
    : m_host(host)
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

QStringList PingWorker::pingArguments(const QString &host)
{
#ifdef Q_OS_WIN
    return {QStringLiteral("-n"), QStringLiteral("1"), QStringLiteral("-w"), QStringLiteral("1000"),
        host};
#else
    return {
        QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-W"), QStringLiteral("1"), host};
#endif
}

bool PingWorker::isOptionLike(const QString &host)
{
#ifdef Q_OS_WIN
    // Windows' ping also takes "/t" and the like as options.
    if (host.startsWith(QLatin1Char('/')))
        return true;
#endif
    return host.startsWith(QLatin1Char('-'));
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
    if (isOptionLike(m_host)) {
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
    m_process->start(QStringLiteral("ping"), pingArguments(m_host));
}

void PingWorker::onFinished(int exitCode, QProcess::ExitStatus status)
{
    Q_UNUSED(status)
    finishProbe(exitCode == 0);
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
