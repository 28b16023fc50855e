#include "LogTestUtil.h"

#include <LMLog.h>

#include <QTemporaryDir>
#include <QTest>

extern "C" {
#include <libavutil/log.h>
}

namespace {
LMLog *s_log = nullptr;

// What a host installs: FFmpeg's context pointer is not passed on.
void forwardToLog(void *, int level, const char *format, va_list arguments)
{
    if (s_log)
        s_log->ffmpegLogHandler(level, format, arguments);
}
} // namespace

class TestLMLogFfmpeg : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void realAvLogLevels();
    void modeFiltersBeforeFormatting();
    void longMessageIsCut();
    void nothingAnnounced();

private:
    QString logPath() const { return m_dir->filePath(QStringLiteral("ffmpeg.log")); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestLMLogFfmpeg::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestLMLogFfmpeg::cleanup()
{
    av_log_set_callback(av_log_default_callback);
    s_log = nullptr;
    LMLog(QString(), 0).setMode(lmlog::Encodage);
    m_dir.reset();
}

void TestLMLogFfmpeg::realAvLogLevels()
{
    {
        LMLog log(logPath(), 100000);
        log.setMode(lmlog::Developer);
        s_log = &log;
        av_log_set_callback(forwardToLog);
        av_log(nullptr, AV_LOG_PANIC, "panic %d\n", 0);
        av_log(nullptr, AV_LOG_FATAL, "fatal %s\n", "eight");
        av_log(nullptr, AV_LOG_ERROR, "error %.2f\n", 16.0);
        av_log(nullptr, AV_LOG_WARNING, "warning %c%c\n", '2', '4');
        av_log(nullptr, AV_LOG_INFO, "info %x\n", 0x20);
        av_log(nullptr, AV_LOG_VERBOSE, "verbose\n");
        av_log(nullptr, AV_LOG_DEBUG, "debug\n");
        av_log(nullptr, AV_LOG_TRACE, "trace\n");
        av_log(nullptr, AV_LOG_QUIET, "quiet\n");
        av_log(nullptr, AV_LOG_INFO, "no line break");
        av_log_set_callback(av_log_default_callback);
    }
    const QStringList lines = readLogLines(logPath());
    // Each FFmpeg line keeps its own line break, so an empty line follows.
    const QStringList expected {"[FATAL]     :   0 panic 0", "", "[FATAL]     :   0 fatal eight",
        "", "[CRITICAL]  :   0 error 16.00", "", "[WARNING]   :   0 warning 24", "",
        "[INFO]      :   0 info 20", "", "[INFO]      :   0 no line break"};
    QCOMPARE(lines.size(), expected.size());
    for (int i = 0; i < lines.size(); ++i) {
        if (expected.at(i).isEmpty()) {
            QVERIFY(lines.at(i).isEmpty());
            continue;
        }
        QVERIFY(parseLogLine(lines.at(i)).valid);
        QCOMPARE(lines.at(i).mid(lines.at(i).indexOf(QLatin1Char('[')), -1), expected.at(i));
    }
}

void TestLMLogFfmpeg::modeFiltersBeforeFormatting()
{
    {
        LMLog log(logPath(), 100000);
        s_log = &log;
        av_log_set_callback(forwardToLog);
        log.setMode(lmlog::Repetition);
        av_log(nullptr, AV_LOG_INFO, "dropped info\n");
        av_log(nullptr, AV_LOG_WARNING, "kept warning\n");
        log.setMode(lmlog::Show);
        av_log(nullptr, AV_LOG_WARNING, "dropped warning\n");
        av_log(nullptr, AV_LOG_FATAL, "kept fatal\n");
        // A masked message is never formatted: a bad format cannot hurt.
        ffmpegStyle(log, 32, "%s%s%s%n");
        ffmpegStyle(log, 48, "%s%s%s%n");
        ffmpegStyle(log, 24, nullptr);
        av_log_set_callback(av_log_default_callback);
    }
    const QStringList lines = readLogLines(logPath());
    QCOMPARE(lines.size(), 4);
    QCOMPARE(parseLogLine(lines.at(0)).message, QStringLiteral("kept warning"));
    QCOMPARE(parseLogLine(lines.at(2)).message, QStringLiteral("kept fatal"));
}

void TestLMLogFfmpeg::longMessageIsCut()
{
    const QByteArray exact(2047, 'a');
    const QByteArray over(5000, 'b');
    // A three-byte character straddling the cut.
    const QByteArray straddle = QByteArray(2046, 'c') + QString(QChar(0x65E5)).toUtf8() + "tail";
    {
        LMLog log(logPath(), 1000000);
        s_log = &log;
        av_log_set_callback(forwardToLog);
        av_log(nullptr, AV_LOG_ERROR, "%s", exact.constData());
        av_log(nullptr, AV_LOG_ERROR, "%s", over.constData());
        ffmpegStyle(log, 16, "%s%s", over.constData(), "more");
        ffmpegStyle(log, 16, "%s", straddle.constData());
        av_log_set_callback(av_log_default_callback);
    }
    const QStringList lines = readLogLines(logPath());
    QCOMPARE(lines.size(), 4);
    QCOMPARE(parseLogLine(lines.at(0)).message.toLatin1(), exact);
    QCOMPARE(parseLogLine(lines.at(1)).message.toLatin1(), over.left(2047));
    QCOMPARE(parseLogLine(lines.at(2)).message.toLatin1(), over.left(2047));
    const QString cut = parseLogLine(lines.at(3)).message;
    QVERIFY(cut.startsWith(QString(2046, QLatin1Char('c'))));
    QVERIFY(!cut.contains(QStringLiteral("tail")));
    QVERIFY(!cut.contains(QChar(0x65E5)));
}

void TestLMLogFfmpeg::nothingAnnounced()
{
    LMLog log(logPath(), 100000);
    int announced = 0;
    connect(&log, &LMLog::messageLogged, this, [&announced] { ++announced; });
    ffmpegStyle(log, 0, "fatal from ffmpeg\n");
    ffmpegStyle(log, 16, "critical from ffmpeg\n");
    QCOMPARE(announced, 0);
    QCOMPARE(readLogLines(logPath()).size(), 4);
}

QTEST_GUILESS_MAIN(TestLMLogFfmpeg)
#include "tst_lmlogffmpeg.moc"
