#include "ping_command.h"
#include "ping_worker.h"
#include "scripted_ping.h"

#include <LMLog.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QThread>
#include <QtTest>

#include <memory>

class TestPingWorker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void firstProbeStartsAtOnce();
    void resultOfOneProbe_data();
    void resultOfOneProbe();
    void unchangedResultIsReportedEveryInterval();
    void ticksDuringProbeAreDropped();
    void hostIsOneArgument();
    void hostBeginningWithDashIsRefused();
    void missingProgramReportsUnreachableAndRetries();
    void pingInCurrentFolderIsNotStarted();
    void intervalIsBounded();
    void threadEndsWhileProbeRuns();
    void realPingOnLoopback();

private:
    std::unique_ptr<PingWorker> startWorker(const QString &host, int intervalSec);
    void expectWarning(const QString &pattern);

    std::unique_ptr<ScriptedPing> m_ping;
};

void TestPingWorker::initTestCase()
{
    m_ping = std::make_unique<ScriptedPing>();
    QVERIFY(m_ping->isValid());
}

void TestPingWorker::init()
{
    // Probes overlapping in one process would show as this warning.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("already running")));
    QTest::failOnWarning(QRegularExpression(QStringLiteral("Destroyed while process")));
    m_ping->reset();
    m_ping->useStandIn();
}

std::unique_ptr<PingWorker> TestPingWorker::startWorker(const QString &host, int intervalSec)
{
    auto worker = std::make_unique<PingWorker>(host, intervalSec);
    worker->init();
    return worker;
}

void TestPingWorker::expectWarning(const QString &pattern)
{
    if (LMLog::modeContains(LOG::WARNING))
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(pattern));
}

void TestPingWorker::firstProbeStartsAtOnce()
{
    // With an hour's interval, any result within seconds is the first probe.
    auto worker = startWorker(QStringLiteral("127.0.0.1"), 3600);
    QSignalSpy spy(worker.get(), &PingWorker::reachabilityChanged);
    QVERIFY(spy.wait(10000));
    QCOMPARE(m_ping->calls().size(), qsizetype(1));
}

void TestPingWorker::resultOfOneProbe_data()
{
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<bool>("reachable");
    const QByteArray reply = ScriptedPing::echoReply();
    QTest::newRow("answered") << 0 << reply << true;
    QTest::newRow("no answer") << 1 << QByteArray() << false;
    QTest::newRow("other error") << 2 << reply << false;
#ifdef Q_OS_WIN
    // Windows' ping exits 0 when a router reports the host unreachable.
    QTest::newRow("router: host unreachable")
        << 0
        << QByteArray("Pinging 10.1.2.3 with 32 bytes of data:\r\n"
                      "Reply from 10.1.2.1: Destination host unreachable.\r\n")
        << false;
    QTest::newRow("exit 0, no reply line") << 0 << QByteArray() << false;
#endif
}

void TestPingWorker::resultOfOneProbe()
{
    QFETCH(int, exitCode);
    QFETCH(QByteArray, output);
    QFETCH(bool, reachable);
    m_ping->setExitCode(exitCode);
    m_ping->setOutput(output);
    auto worker = startWorker(QStringLiteral("127.0.0.1"), 3600);
    QSignalSpy spy(worker.get(), &PingWorker::reachabilityChanged);
    QVERIFY(spy.wait(10000));
    QCOMPARE(spy.size(), qsizetype(1));
    QCOMPARE(spy.at(0).at(0).toBool(), reachable);
}

void TestPingWorker::unchangedResultIsReportedEveryInterval()
{
    auto worker = startWorker(QStringLiteral("127.0.0.1"), 1);
    QSignalSpy spy(worker.get(), &PingWorker::reachabilityChanged);
    QTRY_VERIFY_WITH_TIMEOUT(spy.size() >= 3, 15000);
    for (const QList<QVariant> &args : spy)
        QCOMPARE(args.at(0).toBool(), true);
}

void TestPingWorker::ticksDuringProbeAreDropped()
{
    // Each probe outlasts more than one tick of the one-second timer.
    m_ping->setDelay(1.6);
    auto worker = startWorker(QStringLiteral("127.0.0.1"), 1);
    QSignalSpy spy(worker.get(), &PingWorker::reachabilityChanged);
    QTRY_VERIFY_WITH_TIMEOUT(spy.size() >= 2, 20000);
    worker.reset();

    const QList<ScriptedPing::Call> calls = m_ping->calls();
    QVERIFY2(calls.size() <= spy.size() + 1, "a tick inside a probe started another one");
    for (int i = 1; i < calls.size(); ++i) {
        QVERIFY(calls.at(i - 1).endNs > 0);
        QVERIFY2(calls.at(i).startNs >= calls.at(i - 1).endNs, "probes overlapped");
    }
}

void TestPingWorker::hostIsOneArgument()
{
    const QString host = QStringLiteral("my host -c 5 ; echo x");
    auto worker = startWorker(host, 3600);
    QSignalSpy spy(worker.get(), &PingWorker::reachabilityChanged);
    QVERIFY(spy.wait(10000));

    const QList<ScriptedPing::Call> calls = m_ping->calls();
    QCOMPARE(calls.size(), qsizetype(1));
#ifdef Q_OS_WIN
    QCOMPARE(calls.at(0).arguments,
        QStringList({QStringLiteral("-n"), QStringLiteral("1"), QStringLiteral("-w"),
            QStringLiteral("1000"), host}));
#else
    QCOMPARE(calls.at(0).arguments,
        QStringList({QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-W"),
            QStringLiteral("1"), host}));
#endif
}

void TestPingWorker::hostBeginningWithDashIsRefused()
{
    expectWarning(QStringLiteral("^\\[PING\\] host -f begins with '-'"));
    auto worker = std::make_unique<PingWorker>(QStringLiteral("-f"), 1);
    QSignalSpy spy(worker.get(), &PingWorker::reachabilityChanged);
    worker->init();
    QCOMPARE(spy.size(), qsizetype(1)); // at once, no process
    QCOMPARE(spy.at(0).at(0).toBool(), false);

    // Later ticks report again, without repeating the warning.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("begins with")));
    QTRY_VERIFY_WITH_TIMEOUT(spy.size() >= 2, 10000);
    QCOMPARE(spy.at(1).at(0).toBool(), false);
    QVERIFY(m_ping->calls().isEmpty());

    QVERIFY(!PingCommand::isOptionLike(QStringLiteral("127.0.0.1")));
    QVERIFY(!PingCommand::isOptionLike(QStringLiteral(" -f"))); // a host name, not an option
#ifdef Q_OS_WIN
    QVERIFY(PingCommand::isOptionLike(QStringLiteral("/t"))); // Windows' ping reads it as "-t"
#endif
}

void TestPingWorker::missingProgramReportsUnreachableAndRetries()
{
    m_ping->useMissingProgram();
    expectWarning(QStringLiteral("^\\[PING\\] process error 0 for host 127\\.0\\.0\\.1$"));
    expectWarning(QStringLiteral("^\\[PING\\] process error 0 for host 127\\.0\\.0\\.1$"));
    auto worker = std::make_unique<PingWorker>(QStringLiteral("127.0.0.1"), 1);
    QSignalSpy spy(worker.get(), &PingWorker::reachabilityChanged);
    worker->init();
    QTRY_VERIFY_WITH_TIMEOUT(spy.size() >= 1, 10000);
    QCOMPARE(spy.at(0).at(0).toBool(), false);

    // The failed start left the worker idle: the next tick tries again.
    QTRY_VERIFY_WITH_TIMEOUT(spy.size() >= 2, 10000);
    QCOMPARE(spy.at(1).at(0).toBool(), false);
}

void TestPingWorker::pingInCurrentFolderIsNotStarted()
{
    // Started by a bare name, a ping.exe in the current folder would run before the
    // system's own; elsewhere ping is looked up on PATH alone.
#ifndef Q_OS_WIN
    QSKIP("Windows only: there a bare program name is looked up in the current folder");
#endif
    QVERIFY(QFile::copy(m_ping->program(), m_ping->directory() + QStringLiteral("/ping.exe")));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_ping->directory()));
    m_ping->useSystemPing();
    auto worker = startWorker(QStringLiteral("127.0.0.1"), 3600);
    QSignalSpy spy(worker.get(), &PingWorker::reachabilityChanged);
    const bool finished = spy.wait(10000);
    worker.reset();
    QDir::setCurrent(previous);
    QFile::remove(m_ping->directory() + QStringLiteral("/ping.exe"));
    QVERIFY(finished);
    QVERIFY2(m_ping->calls().isEmpty(), "the ping.exe of the current folder ran");
}

void TestPingWorker::intervalIsBounded()
{
    QCOMPARE(PingWorker::effectiveIntervalMs(60), 60000);
    QCOMPARE(PingWorker::effectiveIntervalMs(1), 1000);
    QCOMPARE(PingWorker::effectiveIntervalMs(0), 1000);
    QCOMPARE(PingWorker::effectiveIntervalMs(-5), 1000);
    QVERIFY(PingWorker::effectiveIntervalMs(INT_MAX) > 0);
}

void TestPingWorker::threadEndsWhileProbeRuns()
{
    m_ping->setDelay(15);
    QThread thread;
    QPointer<PingWorker> worker = new PingWorker(QStringLiteral("127.0.0.1"), 1);
    worker->moveToThread(&thread);
    connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
    connect(&thread, &QThread::started, worker, &PingWorker::init);
    thread.start();
    QTRY_COMPARE_WITH_TIMEOUT(m_ping->calls().size(), qsizetype(1), 10000);

    QElapsedTimer clock;
    clock.start();
    thread.quit();
    QVERIFY(thread.wait(30000));
    QVERIFY2(clock.elapsed() < 10000, "ending the thread waited for the probe");
    QTRY_VERIFY(worker.isNull());
    QCOMPARE(m_ping->calls().at(0).endNs, qint64(0)); // killed, not finished
}

void TestPingWorker::realPingOnLoopback()
{
    m_ping->useSystemPing();
    if (QStandardPaths::findExecutable(PingCommand::defaultProgram()).isEmpty())
        QSKIP("no ping program installed");
    auto worker = startWorker(QStringLiteral("127.0.0.1"), 3600);
    QSignalSpy spy(worker.get(), &PingWorker::reachabilityChanged);
    QVERIFY(spy.wait(10000));
    QCOMPARE(spy.at(0).at(0).toBool(), true);
}

QTEST_GUILESS_MAIN(TestPingWorker)
#include "tst_ping_worker.moc"
