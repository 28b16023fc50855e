#pragma once

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

class Device;
class Show;

// The time of a run: a tick every tickMs on the real clock, or, on virtual time, one tick
// per turn of the event loop that advances the time by tickMs; and the run's length.
//
// Threads: the host's thread; both timers live there.
class RunClock : public QObject
{
    Q_OBJECT
public:
    // Under virtual time, how long a tick waits for the results a device's own threads
    // still owe (its "pendingResults" property), before it goes on without them.
    static constexpr int kPendingResultsWaitMs = 5000;

    explicit RunClock(QObject *parent = nullptr);

    // Time advances one tick per turn of the event loop, without waiting for the clock.
    void setVirtualTime(bool on) { m_virtualTime = on; }
    bool virtualTime() const { return m_virtualTime; }
    // The run ends (lengthReached()) after this many milliseconds; -1: no length.
    void setRunLength(qint64 ms) { m_runLengthMs = ms; }
    qint64 runLength() const { return m_runLengthMs; }
    // The interval that start() was given.
    int tickMs() const { return m_tickMs; }

    // Ticks from now on; the devices of `shows` that say what their threads owe are waited
    // for under virtual time.
    void start(int tickMs, const std::vector<std::unique_ptr<Show>> &shows);
    void stop();
    bool isRunning() const { return m_running; }
    // Milliseconds since start(), of virtual time when that is on.
    qint64 elapsedMs() const;

    // At the start of a tick: under virtual time, the results the devices' threads owe are
    // delivered and the time advances by one tick. The warning line when a device still
    // owes results after the wait (once per run), else empty.
    QString advance();
    // The time up to which entries are due: never beyond the run's length, however late
    // the tick is.
    qint64 dueTime() const;
    // Virtual time has reached the run's length.
    bool virtualLengthReached() const;
    // After the script, the world goes on at the clock's pace rather than in a busy loop.
    void keepPace();

    // The next interval of a timer that waits `remainingMs` in steps Qt can take (a
    // timer's interval is an int of milliseconds).
    static int nextTimerInterval(qint64 remainingMs);

signals:
    void ticked();
    // The run's length has passed on the real clock.
    void lengthReached();

private:
    void armStopTimer();
    QString awaitPendingResults();

    bool m_virtualTime = false;
    int m_tickMs = 20;
    qint64 m_virtualMs = 0;
    QElapsedTimer m_clock;
    qint64 m_runLengthMs = -1;
    QDeadlineTimer m_deadline;
    QTimer m_tickTimer;
    QTimer m_stopTimer;
    bool m_running = false;
    // The devices that say what their threads still owe ("pendingResults"), found at start().
    QList<QPointer<Device>> m_owingDevices;
    bool m_pendingWaitReported = false;
};
