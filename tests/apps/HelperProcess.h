#pragma once

#include "HelperRecords.h"

#include <QByteArray>
#include <QLockFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <QUdpSocket>

// The Windows helper honours no event-log file named by its environment: cases that read its
// entries skip there.
#ifdef Q_OS_WIN
#define LM_SKIP_WITHOUT_EVENT_LOG_FILE()                                                           \
    QSKIP("the Windows helper writes only to the system event log")
#else
#define LM_SKIP_WITHOUT_EVENT_LOG_FILE()                                                           \
    do {                                                                                           \
    } while (false)
#endif

// Runs the built lm_elevated_helper as a process and talks to it on the fixed loopback
// ports, the way the host does. A lock file shared by every test program that uses the
// ports keeps concurrent test runs (other build directories too) from talking to each
// other's helper; binds and starts are still retried briefly.
class HelperProcess
{
public:
    HelperProcess();
    ~HelperProcess();

    static QString buildDir();
    static QString binary(const QString &name);
    // The simulated driver: beside the helper as nvapi64.dll on Windows, in lib/ elsewhere.
    static QString simLibrary();

    // Environment for a helper without any driver library (on Windows, where the helper
    // loads nvapi64.dll from its own folder only, the simulated driver without a GPU).
    static QProcessEnvironment noDriverEnvironment();
    // Environment for a helper on the simulated driver with the given rig file.
    static QProcessEnvironment simEnvironment(const QString &rigPath);

    // Starts the helper and waits until it reports its port bound (on Windows: until it
    // answers a request without driver work). False on failure (the reason is in lastError()).
    bool start(QProcessEnvironment env);
    bool isRunning() const;
    // Waits for the process to end; true when it ended with exit code 0.
    bool waitForCleanExit(int ms);
    void stop();

    // Binds the reply port (needed before any request; the client tests leave it free).
    bool bindReplyPort();
    void releaseReplyPort();
    void send(const QByteArray &datagram);
    // Sends and returns the reply forwarded to the request's source (empty on time-out).
    QByteArray request(const QByteArray &datagram, int timeoutMs = 5000);
    // The next reply within `timeoutMs`, or an empty array.
    QByteArray nextReply(int timeoutMs);
    // Drops replies that arrived unasked.
    void drainReplies();

    // Starts the helper on the simulated driver with a rig holding `json`.
    bool startOnRig(const QByteArray &json);
    // Sends "[SOURCE=test]" + `command` and returns the block after `replyWord`; false when
    // no such reply came.
    bool call(const QByteArray &command, const QByteArray &replyWord, QByteArray &block);
    // The inventory, decoded; false when it did not come or did not decode.
    bool gpus(GpuList &list);

    // The event-log lines written so far.
    QStringList events() const;
    // Waits until an event-log line contains `text`.
    bool waitForEvent(const QString &text, int timeoutMs = 5000) const;
    QString eventLogPath() const;
    QString lastError() const { return m_error; }
    QString tempPath(const QString &name) const { return m_dir.filePath(name); }

private:
    bool waitUntilBound();
    bool answersProbe(int timeoutMs);

    QLockFile m_portLock;
    bool m_portsLocked = false;
    QTemporaryDir m_dir;
    QProcess m_process;
    QUdpSocket m_replySocket;
    QString m_error;
    int m_rigs = 0;
};

// A program's text output with the Windows line end (CR LF) read as a line feed.
QByteArray withLineFeeds(QByteArray text);

// Runs lm_helper_client with `arguments`; its output with line feeds (withLineFeeds); returns its
// exit code (-1 when it did not end).
int runClient(const QStringList &arguments, QByteArray *out = nullptr, QByteArray *err = nullptr,
    int timeoutMs = 15000);
