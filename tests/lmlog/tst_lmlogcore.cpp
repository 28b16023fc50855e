#include "LinkTestUtil.h"
#include "LogTestUtil.h"

#include <LMLog.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

QString hexThreadId()
{
    return QString::number(quint64(reinterpret_cast<quintptr>(QThread::currentThreadId())), 16)
        .rightJustified(4, QLatin1Char('0'));
}

void logAt(LMLog &log, QtMsgType type, const char *file, int line, const QString &message,
    const char *category = "lm.default")
{
    const QMessageLogContext context(file, line, "function", category);
    log.qtLogHandler(type, context, message);
}

void logLine(LMLog &log, const QString &message, const char *category = "lm.default")
{
    logAt(log, QtWarningMsg, "main.cpp", 1, message, category);
}

// Standard output is in text mode: on Windows its newline is written as CRLF,
// while the log file holds bare line feeds.
#ifdef Q_OS_WIN
const QByteArray kStdoutNewline("\r\n");
#else
const QByteArray kStdoutNewline("\n");
#endif

// Captures what the process writes to standard output while it lives.
class StdoutCapture
{
public:
    explicit StdoutCapture(const QString &path)
        : m_path(path)
    {
        std::fflush(stdout);
        m_saved = ::dup(STDOUT_FILENO);
        const int fd
            = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, STDOUT_FILENO);
        ::close(fd);
    }
    ~StdoutCapture() { restore(); }

    QByteArray finish()
    {
        restore();
        return readLogBytes(m_path);
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stdout);
        ::dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }

    QString m_path;
    int m_saved = -1;
};

// The first 12 characters of each line's message.
QStringList messageStarts(const QString &file)
{
    QStringList result;
    for (const QString &line : readLogLines(file))
        result << parseLogLine(line).message.left(12);
    return result;
}

// Longer than the rotation notice, so the notice alone never brings on a try.
QString keptMessage(int i)
{
    return QStringLiteral("kept %1 ").arg(i) + QString(400, 'k');
}

} // namespace

class TestLMLogCore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void lineLayout();
    void lineFields_data();
    void lineFields();
    void messageTextUnchanged();
    void limitCountsUtf16Characters();

    void rotationLimitZero();
    void rotationOverlongLine();
    void rotationKeepsFiveGenerations();
    void restartAppendsAndCountsFromZero();
    void failedRotationLosesNothing();
    void viewerHoldingTheLogLosesNothing();
    void unopenableFileIsHarmless();
    void loggingDuringThreadExit();

    void modeTable();
    void setModeOutOfRange();
    void strToLogMode_data();
    void strToLogMode();
    void toStringTable();
    void showModeFiltersOnlyClients();
    void developerModeEchoesToStdout();

    void announcements_data();
    void announcements();
    void realQtClient();

    void lastLinkRelativePath();
    void lastLinkNameWithoutDash();
    void lastLinkReplacesOldAndDanglingLinks();
    void logNamedLikeItsLinkSurvives();
    void createsMissingDirectories();

    void defaultFormatSetterInstallsPattern();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestLMLogCore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    LMLog(QString(), 0).setMode(lmlog::Encodage);
}

void TestLMLogCore::cleanup()
{
    LMLog(QString(), 0).setMode(lmlog::Encodage);
    m_dir.reset();
}

void TestLMLogCore::lineLayout()
{
    const QString file = path("app-1.log");
    const QDateTime before = QDateTime::currentDateTime();
    {
        LMLog log(file, 100000);
        logAt(log, QtWarningMsg, "/home/build/src/libs/devices/Ping/sources/PingWorker.cpp", 42,
            QStringLiteral("[PING] host down"));
    }
    const QDateTime after = QDateTime::currentDateTime();

    const QStringList lines = readLogLines(file);
    QCOMPARE(lines.size(), 1);
    const QString line = lines.first();
    // "hh:mm:ss:zzz" then two spaces then "T".
    const QString expectedTail = QStringLiteral("  T") + hexThreadId()
        + QStringLiteral(" [WARNING]   urces/PingWorker.cpp:  42 [PING] host down");
    QCOMPARE(line.mid(12), expectedTail);
    const QTime written = QTime::fromString(line.left(12), QStringLiteral("hh:mm:ss:zzz"));
    QVERIFY(written.isValid());
    if (before.date() == after.date()) {
        QVERIFY(written >= before.time());
        QVERIFY(written <= after.time());
    }
}

void TestLMLogCore::lineFields_data()
{
    QTest::addColumn<int>("qtType");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("expected");

    QTest::newRow("critical") << int(QtCriticalMsg) << QByteArray("a.cpp") << 7
                              << QStringLiteral("[CRITICAL]  a.cpp:   7 m");
    QTest::newRow("info") << int(QtInfoMsg) << QByteArray("b.cpp") << 1234
                          << QStringLiteral("[INFO]      b.cpp:1234 m");
    QTest::newRow("debug") << int(QtDebugMsg) << QByteArray("c.cpp") << 12345
                           << QStringLiteral("[DEBUG]     c.cpp:12345 m");
    QTest::newRow("fatal") << int(QtFatalMsg) << QByteArray("d.cpp") << 0
                           << QStringLiteral("[FATAL]     d.cpp:   0 m");
    // Unknown, yet within QtMsgType's range: any other value is undefined behaviour.
    QTest::newRow("unknown type") << 7 << QByteArray("e.cpp") << -1
                                  << QStringLiteral("[UNKNOWN]   e.cpp:  -1 m");
    QTest::newRow("null file") << int(QtWarningMsg) << QByteArray() << 3
                               << QStringLiteral("[WARNING]   :   3 m");
    QTest::newRow("exactly 20") << int(QtWarningMsg) << QByteArray("abcdefghij0123456789") << 5
                                << QStringLiteral("[WARNING]   abcdefghij0123456789:   5 m");
    QTest::newRow("21 chars") << int(QtWarningMsg) << QByteArray("Xabcdefghij0123456789") << 5
                              << QStringLiteral("[WARNING]   abcdefghij0123456789:   5 m");
    QTest::newRow("non-ASCII tail")
        << int(QtWarningMsg) << QString::fromUtf8("/src/ünïcödé/ässets/fïlé.cpp").toUtf8() << 5
        << QString::fromUtf8("[WARNING]   cödé/ässets/fïlé.cpp:   5 m");
}

void TestLMLogCore::lineFields()
{
    QFETCH(int, qtType);
    QFETCH(QByteArray, file);
    QFETCH(int, line);
    QFETCH(QString, expected);

    const QString logPath = path("fields.log");
    {
        LMLog log(logPath, 100000);
        logAt(log, QtMsgType(qtType), file.isNull() ? nullptr : file.constData(), line,
            QStringLiteral("m"), "qt.test");
    }
    const QStringList lines = readLogLines(logPath);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines.first().mid(16 + hexThreadId().size()), expected);
}

void TestLMLogCore::messageTextUnchanged()
{
    const QString logPath = path("text.log");
    const QString tricky = QStringLiteral("%1 %2 100% {} \\n");
    const QString multi = QStringLiteral("first\nsecond");
    const QString unicode = QString::fromUtf8("Grüße — 日本語 \xF0\x9F\x98\x80");
    {
        LMLog log(logPath, 100000);
        logLine(log, tricky);
        logLine(log, multi);
        logLine(log, unicode);
        logLine(log, QString());
    }
    const QStringList lines = readLogLines(logPath);
    QCOMPARE(lines.size(), 5);
    QCOMPARE(parseLogLine(lines.at(0)).message, tricky);
    QCOMPARE(parseLogLine(lines.at(1)).message, QStringLiteral("first"));
    QCOMPARE(lines.at(2), QStringLiteral("second"));
    QCOMPARE(parseLogLine(lines.at(3)).message, unicode);
    QVERIFY(lines.at(4).endsWith(QStringLiteral(":   1 ")));
}

void TestLMLogCore::limitCountsUtf16Characters()
{
    // Three-byte characters: a byte count would rotate after the first line.
    const QString message = QString(100, QChar(0x65E5));
    const QString probePath = path("probe.log");
    {
        LMLog probe(probePath, 100000);
        logLine(probe, message);
    }
    const int n = readLogLines(probePath).first().size();
    QVERIFY(readLogBytes(probePath).size() > 2 * n);

    const QString logPath = path("utf.log");
    {
        LMLog log(logPath, quint32(2 * n + 1));
        logLine(log, message);
        logLine(log, message);
        QCOMPARE(readLogLines(logPath).size(), 2);
        QVERIFY(!QFileInfo::exists(logPath + ".old1"));
        logLine(log, message);
    }
    QCOMPARE(readLogLines(logPath).size(), 1);
    QCOMPARE(readLogLines(logPath + ".old1").size(), 2);
}

void TestLMLogCore::rotationLimitZero()
{
    const QString logPath = path("zero.log");
    {
        LMLog log(logPath, 0);
        for (int i = 1; i <= 3; ++i)
            logLine(log, QStringLiteral("line %1").arg(i));
    }
    QCOMPARE(readLogLines(logPath).size(), 1);
    QCOMPARE(parseLogLine(readLogLines(logPath).first()).message, QStringLiteral("line 3"));
    QCOMPARE(
        parseLogLine(readLogLines(logPath + ".old1").value(0)).message, QStringLiteral("line 2"));
    QCOMPARE(
        parseLogLine(readLogLines(logPath + ".old2").value(0)).message, QStringLiteral("line 1"));
    QCOMPARE(readLogLines(logPath + ".old1").size(), 1);
    QCOMPARE(readLogLines(logPath + ".old2").size(), 1);
    // The file the logger started on was empty and became a generation too.
    QVERIFY(QFileInfo::exists(logPath + ".old3"));
    QCOMPARE(QFileInfo(logPath + ".old3").size(), 0);
}

void TestLMLogCore::rotationOverlongLine()
{
    const QString logPath = path("long.log");
    const QString longText(200, QLatin1Char('L'));
    {
        LMLog log(logPath, 120);
        logLine(log, QStringLiteral("short 1"));
        logLine(log, longText);
        logLine(log, QStringLiteral("short 2"));
    }
    const QStringList current = readLogLines(logPath);
    const QStringList previous = readLogLines(logPath + ".old1");
    const QStringList oldest = readLogLines(logPath + ".old2");
    QCOMPARE(current.size(), 1);
    QCOMPARE(parseLogLine(current.first()).message, QStringLiteral("short 2"));
    QCOMPARE(previous.size(), 1);
    QCOMPARE(parseLogLine(previous.first()).message, longText);
    QCOMPARE(oldest.size(), 1);
    QCOMPARE(parseLogLine(oldest.first()).message, QStringLiteral("short 1"));
}

void TestLMLogCore::rotationKeepsFiveGenerations()
{
    const QString logPath = path("gen.log");
    {
        LMLog log(logPath, 0);
        for (int i = 1; i <= 9; ++i)
            logLine(log, QStringLiteral("line %1").arg(i));
    }
    QCOMPARE(parseLogLine(readLogLines(logPath).value(0)).message, QStringLiteral("line 9"));
    for (int g = 1; g <= 5; ++g) {
        const QStringList lines = readLogLines(logPath + ".old" + QString::number(g));
        QCOMPARE(lines.size(), 1);
        QCOMPARE(parseLogLine(lines.first()).message, QStringLiteral("line %1").arg(9 - g));
    }
    QVERIFY(!QFileInfo::exists(logPath + ".old6"));
    QCOMPARE(QDir(m_dir->path()).entryList({"gen.log*"}, QDir::Files | QDir::NoSymLinks).size(), 6);
}

void TestLMLogCore::restartAppendsAndCountsFromZero()
{
    const QString logPath = path("restart.log");
    const QString message = QStringLiteral("restart line");
    {
        LMLog first(logPath, 100000);
        logLine(first, message);
        logLine(first, message);
    }
    const int n = readLogLines(logPath).first().size();
    {
        // Room for two more lines only if counting starts from zero again.
        LMLog second(logPath, quint32(2 * n + 1));
        logLine(second, message);
        logLine(second, message);
        QCOMPARE(readLogLines(logPath).size(), 4);
        logLine(second, message);
    }
    QCOMPARE(readLogLines(logPath).size(), 1);
    QCOMPARE(readLogLines(logPath + ".old1").size(), 4);
}

void TestLMLogCore::failedRotationLosesNothing()
{
    // Generations that are non-empty directories can be neither removed nor
    // replaced, so the current file cannot be renamed away, as when another
    // program holds it open without delete sharing.
    const QString logPath = path("stuck.log");
    const auto block = [&] {
        for (int g = 1; g <= 5; ++g)
            QVERIFY(QDir().mkpath(logPath + ".old" + QString::number(g) + "/keep"));
    };
    const auto unblock = [&] {
        for (int g = 1; g <= 5; ++g)
            QVERIFY(QDir(logPath + ".old" + QString::number(g)).removeRecursively());
    };
    {
        LMLog probe(path("probe.log"), 100000);
        logLine(probe, keptMessage(0));
    }
    const int n = readLogLines(path("probe.log")).first().size();
    const QString notice = QStringLiteral("[LMLOG] Log ");

    block();
    {
        LMLog log(logPath, quint32(3 * n + 1));
        for (int i = 1; i <= 4; ++i)
            logLine(log, keptMessage(i));
        // The fourth line tried and failed: every line is still there, and
        // the log says so once.
        QCOMPARE(messageStarts(logPath),
            QStringList({"kept 1 kkkkk", "kept 2 kkkkk", "kept 3 kkkkk", notice, "kept 4 kkkkk"}));
        const QString said = parseLogLine(readLogLines(logPath).at(3)).message;
        QVERIFY2(said.contains(QStringLiteral("could not be renamed")), qPrintable(said));
        QCOMPARE(parseLogLine(readLogLines(logPath).at(3)).type, QStringLiteral("[WARNING]  "));

        // The next try waits for another limit's worth, not for the next line.
        unblock();
        logLine(log, keptMessage(5));
        QVERIFY(!QFileInfo::exists(logPath + ".old1"));
        logLine(log, keptMessage(6));
        QCOMPARE(messageStarts(logPath + ".old1"),
            QStringList({"kept 1 kkkkk", "kept 2 kkkkk", "kept 3 kkkkk", notice, "kept 4 kkkkk",
                "kept 5 kkkkk"}));
        QCOMPARE(messageStarts(logPath), QStringList({"kept 6 kkkkk"}));

        // Stuck again after a rotation that worked: said again, once.
        QVERIFY(QFile::remove(logPath + ".old1"));
        block();
        for (int i = 7; i <= 12; ++i)
            logLine(log, keptMessage(i));
    }
    QCOMPARE(messageStarts(logPath),
        QStringList({"kept 6 kkkkk", "kept 7 kkkkk", "kept 8 kkkkk", notice, "kept 9 kkkkk",
            "kept 10 kkkk", "kept 11 kkkk", "kept 12 kkkk"}));
}

void TestLMLogCore::viewerHoldingTheLogLosesNothing()
{
#ifdef Q_OS_WIN
    // The real cause on Windows: a viewer holds the log open without delete
    // sharing, so every rename of it fails until the viewer lets go.
    const QString logPath = path("viewed.log");
    {
        LMLog probe(path("probe.log"), 100000);
        logLine(probe, keptMessage(0));
    }
    const int n = readLogLines(path("probe.log")).first().size();
    const QString notice = QStringLiteral("[LMLOG] Log ");
    {
        LMLog log(logPath, quint32(3 * n + 1));
        logLine(log, keptMessage(1));
        HeldOpen viewer(logPath);
        QVERIFY(viewer.isHeld());
        // Tries at lines 4 and 6 fail; said once.
        for (int i = 2; i <= 8; ++i)
            logLine(log, keptMessage(i));
        QCOMPARE(messageStarts(logPath),
            QStringList({"kept 1 kkkkk", "kept 2 kkkkk", "kept 3 kkkkk", notice, "kept 4 kkkkk",
                "kept 5 kkkkk", "kept 6 kkkkk", "kept 7 kkkkk", "kept 8 kkkkk"}));
        QVERIFY(!QFileInfo::exists(logPath + ".old1"));

        viewer.release();
        logLine(log, keptMessage(9));
    }
    QCOMPARE(messageStarts(logPath + ".old1").size(), 9);
    QCOMPARE(messageStarts(logPath), QStringList({"kept 9 kkkkk"}));
#else
    QSKIP("only Windows refuses to rename a file that another program holds open");
#endif
}

void TestLMLogCore::unopenableFileIsHarmless()
{
    // The path is a directory: nothing can be opened, nothing must break.
    const QString dirPath = path("adir.log");
    QVERIFY(QDir().mkpath(dirPath));
    LMLog log(dirPath, 0);
    logLine(log, QStringLiteral("lost"));
    log.flush();
    QVERIFY(QFileInfo(dirPath).isDir());
    QVERIFY(!QFileInfo::exists(dirPath + ".old1"));
}

namespace {
// Logs from its destructor, which runs after the thread's other thread_local
// objects are gone, as a Qt message emitted during thread or process exit does.
struct LogsAtThreadExit
{
    LMLog *log;
    ~LogsAtThreadExit() { logLine(*log, QString(150, QLatin1Char('b'))); }
};
} // namespace

void TestLMLogCore::loggingDuringThreadExit()
{
    const QString logPath = path("exit.log");
    {
        LMLog log(logPath, 100000);
        for (int i = 0; i < 3; ++i) {
            std::thread([&log] {
                thread_local LogsAtThreadExit guard {&log};
                Q_UNUSED(guard);
                logLine(log, QString(300, QLatin1Char('a')));
            }).join();
        }
    }
    const QStringList lines = readLogLines(logPath);
    QCOMPARE(lines.size(), 6);
    QCOMPARE(parseLogLine(lines.at(4)).message, QString(300, QLatin1Char('a')));
    QCOMPARE(parseLogLine(lines.at(5)).message, QString(150, QLatin1Char('b')));
}

void TestLMLogCore::modeTable()
{
    struct Row
    {
        lmlog::logMode mode;
        int mask;
    };
    const Row rows[] = {{lmlog::Developer, 0x1F}, {lmlog::Encodage, 0x0F},
        {lmlog::Repetition, 0x07}, {lmlog::Filage, 0x03}, {lmlog::Show, 0x01}};
    LMLog log(QString(), 0);
    for (const Row &row : rows) {
        log.setMode(row.mode);
        for (int bit = 1; bit <= 16; bit <<= 1) {
            QCOMPARE(LMLog::modeContains(LOG::logType(bit)), (row.mask & bit) != 0);
        }
        QVERIFY(LMLog::modeContains(LOG::logType(0)));
        QCOMPARE(LMLog::modeContains(LOG::logType(row.mask)), true);
        QCOMPARE(LMLog::modeContains(LOG::logType(0x3F)), false);
    }
    log.setMode(lmlog::Show);
    QVERIFY(!LMLog::modeContains(LOG::logType(3)));
    log.setMode(lmlog::Filage);
    QVERIFY(LMLog::modeContains(LOG::logType(3)));
    // A bit beyond the 16-bit mask is never contained.
    log.setMode(lmlog::Developer);
    QVERIFY(!LMLog::modeContains(LOG::logType(0x10000)));
}

void TestLMLogCore::setModeOutOfRange()
{
    LMLog log(QString(), 0);
    log.setMode(lmlog::logMode(7));
    QVERIFY(LMLog::modeContains(LOG::FATAL));
    QVERIFY(!LMLog::modeContains(LOG::CRITICAL));
    log.setMode(lmlog::logMode(-1));
    QVERIFY(LMLog::modeContains(LOG::logType(0x1F)));
}

void TestLMLogCore::strToLogMode_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("mode");
    QTest::newRow("Show") << "Show" << 4;
    QTest::newRow("Filage") << "Filage" << 3;
    QTest::newRow("Repetition") << "Repetition" << 2;
    QTest::newRow("Encodage") << "Encodage" << 1;
    QTest::newRow("Developer") << "Developer" << 0;
    QTest::newRow("lower case") << "show" << 1;
    QTest::newRow("empty") << "" << 1;
    QTest::newRow("trailing space") << "Developer " << 1;
}

void TestLMLogCore::strToLogMode()
{
    QFETCH(QString, name);
    QFETCH(int, mode);
    QCOMPARE(int(LMLog::strToLogMode(name.toStdString())), mode);
}

void TestLMLogCore::toStringTable()
{
    QCOMPARE(LMLog::toString(LOG::FATAL), QStringLiteral("[FATAL]"));
    QCOMPARE(LMLog::toString(LOG::CRITICAL), QStringLiteral("[CRITICAL]"));
    QCOMPARE(LMLog::toString(LOG::WARNING), QStringLiteral("[WARNING]"));
    QCOMPARE(LMLog::toString(LOG::INFO), QStringLiteral("[INFO]"));
    QCOMPARE(LMLog::toString(LOG::DEBUG), QStringLiteral("[DEBUG]"));
    QCOMPARE(LMLog::toString(LOG::logType(0)), QStringLiteral("[UNKNOWN]"));
    QCOMPARE(LMLog::toString(LOG::logType(3)), QStringLiteral("[UNKNOWN]"));
}

void TestLMLogCore::showModeFiltersOnlyClients()
{
    const QString logPath = path("show.log");
    LMLog log(logPath, 100000);
    log.setMode(lmlog::Show);
    StdoutCapture capture(path("stdout.txt"));
    logAt(log, QtWarningMsg, "w.cpp", 1, QStringLiteral("qt warning"));
    logAt(log, QtDebugMsg, "d.cpp", 2, QStringLiteral("qt debug"));
    ffmpegStyle(log, 24, "ffmpeg warning %d\n", 1);
    QVERIFY(capture.finish().isEmpty());
    const QStringList lines = readLogLines(logPath);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(parseLogLine(lines.at(0)).message, QStringLiteral("qt warning"));
    QCOMPARE(parseLogLine(lines.at(1)).message, QStringLiteral("qt debug"));
}

void TestLMLogCore::developerModeEchoesToStdout()
{
    const QString logPath = path("echo.log");
    LMLog log(logPath, 100000);
    log.setMode(lmlog::Developer);
    StdoutCapture capture(path("stdout.txt"));
    logAt(log, QtInfoMsg, "i.cpp", 3, QString::fromUtf8("echo ünï"));
    const QByteArray echoed = capture.finish();
    QCOMPARE(echoed, readLogBytes(logPath).replace("\n", kStdoutNewline));
    QVERIFY(echoed.endsWith(QByteArray("echo ünï") + kStdoutNewline));

    // The echo goes on when the file cannot be written.
    const QString dirPath = path("dir.log");
    QDir().mkpath(dirPath);
    LMLog broken(dirPath, 100000);
    StdoutCapture second(path("stdout2.txt"));
    logLine(broken, QStringLiteral("still echoed"));
    QVERIFY(second.finish().endsWith(QByteArray("still echoed") + kStdoutNewline));
}

void TestLMLogCore::announcements_data()
{
    QTest::addColumn<int>("qtType");
    QTest::addColumn<QByteArray>("category");
    QTest::addColumn<bool>("announced");
    QTest::addColumn<int>("logType");

    QTest::newRow("critical lm.default")
        << int(QtCriticalMsg) << QByteArray("lm.default") << true << int(LOG::CRITICAL);
    QTest::newRow("fatal lm.default")
        << int(QtFatalMsg) << QByteArray("lm.default") << true << int(LOG::FATAL);
    QTest::newRow("warning lm.default")
        << int(QtWarningMsg) << QByteArray("lm.default") << false << 0;
    QTest::newRow("critical lm.other")
        << int(QtCriticalMsg) << QByteArray("lm.other") << true << int(LOG::CRITICAL);
    QTest::newRow("info lm.usermessage")
        << int(QtInfoMsg) << QByteArray("lm.usermessage") << true << int(LOG::INFO);
    QTest::newRow("debug lm.usermessage.sub")
        << int(QtDebugMsg) << QByteArray("lm.usermessage.sub") << true << int(LOG::DEBUG);
    QTest::newRow("critical qt.network")
        << int(QtCriticalMsg) << QByteArray("qt.network") << false << 0;
    QTest::newRow("critical default") << int(QtCriticalMsg) << QByteArray("default") << false << 0;
    QTest::newRow("critical LM.default")
        << int(QtCriticalMsg) << QByteArray("LM.default") << false << 0;
    QTest::newRow("critical null") << int(QtCriticalMsg) << QByteArray() << false << 0;
}

void TestLMLogCore::announcements()
{
    QFETCH(int, qtType);
    QFETCH(QByteArray, category);
    QFETCH(bool, announced);
    QFETCH(int, logType);

    const QString logPath = path("announce.log");
    LMLog log(logPath, 100000);
    QSignalSpy spy(&log, &LMLog::messageLogged);
    const QDateTime before = QDateTime::currentDateTime();
    logAt(log, QtMsgType(qtType), "x.cpp", 1, QStringLiteral("to the user"),
        category.isNull() ? nullptr : category.constData());
    const QDateTime after = QDateTime::currentDateTime();

    // Written in every case.
    QCOMPARE(readLogLines(logPath).size(), 1);
    QCOMPARE(spy.size(), announced ? 1 : 0);
    if (!announced)
        return;
    const auto message = spy.first().first().value<LMLogMessage>();
    QCOMPARE(message.message(), QStringLiteral("to the user"));
    QCOMPARE(int(message.type()), logType);
    QCOMPARE(message.datetime().timeSpec(), Qt::LocalTime);
    QVERIFY(message.datetime() >= before.addMSecs(-1));
    QVERIFY(message.datetime() <= after);
    // The file line carries the same time as the announcement.
    QCOMPARE(readLogLines(logPath).first().left(12),
        message.datetime().toString(QStringLiteral("hh:mm:ss:zzz")));
}

namespace {
LMLog *s_routed = nullptr;
void routeToLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    s_routed->qtLogHandler(type, context, message);
}
} // namespace

void TestLMLogCore::realQtClient()
{
    const QString logPath = path("client.log");
    LMLog log(logPath, 100000);
    QSignalSpy spy(&log, &LMLog::messageLogged);
    s_routed = &log;
    const QtMessageHandler previous = qInstallMessageHandler(routeToLog);
    const int criticalLine = __LINE__ + 1;
    qCCritical(LMLog::s_lmLogCat) << "[TEST] device lost" << 3;
    const QLoggingCategory userCategory("lm.usermessage");
    qCInfo(userCategory).noquote() << "Show saved";
    qWarning("plain %s", "warning");
    // A text that does not parse reports itself on the category.
    const LMLogMessage broken(QStringLiteral("<not xml"));
    qInstallMessageHandler(previous);
    s_routed = nullptr;

    const QStringList lines = readLogLines(logPath);
    QCOMPARE(lines.size(), 4);
    const LogLine critical = parseLogLine(lines.at(0));
    QVERIFY(critical.valid);
    QCOMPARE(critical.type, QStringLiteral("[CRITICAL] "));
    QCOMPARE(critical.file, QStringLiteral(__FILE__).right(20));
    QCOMPARE(critical.line.trimmed().toInt(), criticalLine);
    QCOMPARE(critical.message, QStringLiteral("[TEST] device lost 3"));
    QCOMPARE(parseLogLine(lines.at(1)).message, QStringLiteral("Show saved"));
    QCOMPARE(parseLogLine(lines.at(2)).type, QStringLiteral("[WARNING]  "));
    const LogLine parseError = parseLogLine(lines.at(3));
    QCOMPARE(parseError.type, QStringLiteral("[INFO]     "));
    QCOMPARE(parseError.file, QStringLiteral("/lmlog/sources/LMLog"));
    QVERIFY2(parseError.message.startsWith(QStringLiteral("[LMLOG] Parsing error: Line 1 column ")),
        qPrintable(parseError.message));

    QCOMPARE(spy.size(), 2);
    QCOMPARE(
        spy.at(0).first().value<LMLogMessage>().message(), QStringLiteral("[TEST] device lost 3"));
    QCOMPARE(spy.at(0).first().value<LMLogMessage>().type(), LOG::CRITICAL);
    QCOMPARE(spy.at(1).first().value<LMLogMessage>().message(), QStringLiteral("Show saved"));
    QCOMPARE(spy.at(1).first().value<LMLogMessage>().type(), LOG::INFO);
}

void TestLMLogCore::lastLinkRelativePath()
{
    LM_SKIP_WITHOUT_SYMLINKS(m_dir->path());
    const QString previousCwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    {
        LMLog log(QStringLiteral("logs/show-1.log"), 100000);
        logLine(log, QStringLiteral("linked"));
    }
    QDir::setCurrent(previousCwd);

    const QString link = path("logs/show-last.log");
    const QFileInfo info(link);
    QVERIFY(info.isSymLink());
    QCOMPARE(QFile::symLinkTarget(link), QFileInfo(path("logs/show-1.log")).absoluteFilePath());
    QCOMPARE(info.canonicalFilePath(), QFileInfo(path("logs/show-1.log")).canonicalFilePath());
    QCOMPARE(readLogLines(link).size(), 1);
    // The target is the bare file name, not the path as given (which would
    // resolve from the link's folder to logs/logs/show-1.log): the folder
    // can move and the link still reaches its log.
    QVERIFY(QDir(m_dir->path()).rename(QStringLiteral("logs"), QStringLiteral("moved")));
    QCOMPARE(QFileInfo(path("moved/show-last.log")).canonicalFilePath(),
        QFileInfo(path("moved/show-1.log")).canonicalFilePath());
}

void TestLMLogCore::lastLinkNameWithoutDash()
{
    LM_SKIP_WITHOUT_SYMLINKS(m_dir->path());
    {
        LMLog log(path("engine.log"), 100000);
    }
    const QString link = path("engine.log-last.log");
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(
        QFileInfo(link).canonicalFilePath(), QFileInfo(path("engine.log")).canonicalFilePath());
}

void TestLMLogCore::lastLinkReplacesOldAndDanglingLinks()
{
    LM_SKIP_WITHOUT_SYMLINKS(m_dir->path());
    const QString link = path("show-last.log");
    QVERIFY(makeSymLink(QStringLiteral("nowhere-9.log"), link));
    {
        LMLog first(path("show-1.log"), 100000);
    }
    QCOMPARE(
        QFileInfo(link).canonicalFilePath(), QFileInfo(path("show-1.log")).canonicalFilePath());
    {
        LMLog second(path("show-2.log"), 100000);
        logLine(second, QStringLiteral("second"));
    }
    QCOMPARE(
        QFileInfo(link).canonicalFilePath(), QFileInfo(path("show-2.log")).canonicalFilePath());
    // Replacing the link never touches the file it pointed at.
    QVERIFY(QFileInfo::exists(path("show-1.log")));
    QCOMPARE(readLogLines(link).size(), 1);
}

void TestLMLogCore::logNamedLikeItsLinkSurvives()
{
    const QString logPath = path("show-last.log");
    {
        LMLog first(logPath, 100000);
        logLine(first, QStringLiteral("one"));
    }
    {
        LMLog second(logPath, 100000);
        logLine(second, QStringLiteral("two"));
    }
    QVERIFY(!QFileInfo(logPath).isSymLink());
    QCOMPARE(readLogLines(logPath).size(), 2);
}

void TestLMLogCore::createsMissingDirectories()
{
    const QString logPath = path("a/b/c/deep-1.log");
    {
        LMLog log(logPath, 100000);
        logLine(log, QStringLiteral("deep"));
        log.flush();
    }
    QCOMPARE(readLogLines(logPath).size(), 1);
    LM_SKIP_WITHOUT_SYMLINKS(m_dir->path());
    QVERIFY(QFileInfo(path("a/b/c/deep-last.log")).isSymLink());
}

void TestLMLogCore::defaultFormatSetterInstallsPattern()
{
    // lmlog's own static instance has set the pattern when the library loaded.
    const QMessageLogContext context("dir/file.cpp", 17, "f", "lm.default");
    const QString formatted = qFormatLogMessage(QtWarningMsg, context, QStringLiteral("hello"));
    const QRegularExpression expected(
        QStringLiteral(R"(^\d\d:\d\d:\d\d\.\d\d\d T\d+ warning dir/file\.cpp:17 hello$)"));
    QVERIFY2(expected.match(formatted).hasMatch(), qPrintable(formatted));
    qSetMessagePattern(QStringLiteral("%{message}"));
    QCOMPARE(qFormatLogMessage(QtWarningMsg, context, QStringLiteral("x")), QStringLiteral("x"));
    DefaultQtFormatSetter again;
    DefaultQtFormatSetter copy(again);
    Q_UNUSED(copy);
    QVERIFY(expected.match(qFormatLogMessage(QtWarningMsg, context, QStringLiteral("hello")))
                .hasMatch());
}

QTEST_GUILESS_MAIN(TestLMLogCore)
#include "tst_lmlogcore.moc"
