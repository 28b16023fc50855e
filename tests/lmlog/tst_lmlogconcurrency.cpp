#include "LogTestUtil.h"

#include <LMLog.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <vector>

namespace {
constexpr int kThreads = 4;
constexpr int kLinesPerThread = 50000;
// About 550 lines per file: the run rotates several hundred times.
constexpr quint32 kLimit = 40000;
} // namespace

class TestLMLogConcurrency : public QObject
{
    Q_OBJECT

private slots:
    void fourWritersManyRotations();
};

void TestLMLogConcurrency::fourWritersManyRotations()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString logPath = dir.filePath(QStringLiteral("busy-1.log"));
    LMLog log(logPath, kLimit);

    std::atomic<bool> writing {true};
    std::vector<QThread *> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.push_back(QThread::create([&log, t] {
            const QMessageLogContext context("src/worker.cpp", 100 + t, "run", "lm.default");
            const QString prefix = QStringLiteral("writer %1 line ").arg(t);
            for (int i = 0; i < kLinesPerThread; ++i)
                log.qtLogHandler(QtWarningMsg, context, prefix + QString::number(i));
        }));
    }
    // Flushing from elsewhere must not disturb the writers.
    QThread *flusher = QThread::create([&log, &writing] {
        while (writing.load())
            log.flush();
    });
    flusher->start();
    for (QThread *thread : threads)
        thread->start();
    for (QThread *thread : threads) {
        QVERIFY(thread->wait(120000));
        delete thread;
    }
    writing = false;
    QVERIFY(flusher->wait(10000));
    delete flusher;

    // The surviving files, oldest first, form one contiguous tail of the
    // writes: each thread's numbers follow on without a gap.
    std::vector<int> lastSeen(kThreads, -1);
    std::vector<QString> threadIds(kThreads);
    int total = 0;
    for (int g = 5; g >= 0; --g) {
        const QString name = g == 0 ? logPath : logPath + ".old" + QString::number(g);
        QVERIFY2(QFileInfo::exists(name), qPrintable(name));
        const QStringList lines = readLogLines(name);
        QVERIFY(!lines.isEmpty());
        qsizetype chars = 0;
        for (const QString &line : lines) {
            const LogLine parsed = parseLogLine(line);
            QVERIFY2(parsed.valid, qPrintable(line));
            const QStringList words = parsed.message.split(QLatin1Char(' '));
            QCOMPARE(words.size(), 4);
            const int t = words.at(1).toInt();
            const int i = words.at(3).toInt();
            QVERIFY(t >= 0 && t < kThreads);
            QCOMPARE(parsed.line.trimmed().toInt(), 100 + t);
            if (threadIds[t].isEmpty())
                threadIds[t] = parsed.thread;
            QCOMPARE(parsed.thread, threadIds[t]);
            if (lastSeen[t] >= 0)
                QCOMPARE(i, lastSeen[t] + 1);
            lastSeen[t] = i;
            chars += line.size();
            ++total;
        }
        QVERIFY(chars < qsizetype(kLimit));
    }
    QVERIFY(!QFileInfo::exists(logPath + ".old6"));
    // The very last write of some thread is in the newest file.
    const QStringList newest = readLogLines(logPath);
    QVERIFY(parseLogLine(newest.last()).message.endsWith(QString::number(kLinesPerThread - 1)));
    QVERIFY(total > 5 * 400);
}

QTEST_GUILESS_MAIN(TestLMLogConcurrency)
#include "tst_lmlogconcurrency.moc"
