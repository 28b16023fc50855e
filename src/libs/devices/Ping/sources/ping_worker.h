#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

class QTimer;

// Probes one host periodically with the system's ping command, one echo request per
// probe, and reports after every probe whether the host answered (exit code 0).
// Lives in a thread of its own; everything but the signal stays in that thread.
class PingWorker : public QObject
{
    Q_OBJECT

public:
    PingWorker(const QString &host, int intervalSec);
    ~PingWorker() override;

    // Arguments of one probe of host with the local ping command.
    static QStringList pingArguments(const QString &host);
    // Whether the ping command would read host as an option rather than a host.
    static bool isOptionLike(const QString &host);
    // Interval actually used for a configured one: at least one second, no overflow.
    static int effectiveIntervalMs(int intervalSec);

signals:
    void reachabilityChanged(bool reachable);

public slots:
    void init();
    void onTimerTick();
    void onFinished(int exitCode, QProcess::ExitStatus status);

private:
    void onProcessError(QProcess::ProcessError error);
    void finishProbe(bool reachable);

    QString m_host;
    int m_intervalMs;
    bool m_busy = false;
    QTimer *m_timer = nullptr;
    QProcess *m_process = nullptr;
    bool m_optionHostReported = false;
};
