#pragma once

#include <QObject>
#include <QProcess>
#include <QString>

class QTimer;

// Probes one host periodically with the system's ping command, one echo request per
// probe, and reports after every probe whether the host answered (ping_command.h).
// Lives in a thread of its own; everything but the signal stays in that thread.
class PingWorker : public QObject
{
    Q_OBJECT

public:
    PingWorker(const QString &host, int intervalSec);
    ~PingWorker() override;

    // The program that workers created from now on start instead of the system's ping;
    // empty goes back to it. Set by the tests only: nothing from the environment, a show
    // or a command line reaches it, so no one outside the process chooses what runs.
    static void setProgram(const QString &program);
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
    QString m_program; // copied at construction, like the host
    int m_intervalMs;
    bool m_busy = false;
    QTimer *m_timer = nullptr;
    QProcess *m_process = nullptr;
    bool m_optionHostReported = false;
};
