// Routes Qt's and FFmpeg-style messages into an LMLog with a small size limit
// and shows what reaches the user through messageLogged.
#include <lmlog/LMLog.h>
#include <lmlog/LMLogMessage.h>

#include <QCoreApplication>
#include <QDir>

#include <cstdarg>
#include <cstdio>

namespace {
LMLog *s_log = nullptr;

void qtHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    s_log->qtLogHandler(type, context, message);
}

// Stands where a host installs av_log_set_callback.
void ffmpegCallback(void *, int level, const char *format, va_list arguments)
{
    s_log->ffmpegLogHandler(level, format, arguments);
}

void avLog(int level, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    ffmpegCallback(nullptr, level, format, arguments);
    va_end(arguments);
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString directory = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    const QString logPath = directory + QStringLiteral("/logs/demo-1.log");
    const quint32 limit = 600;

    LMLog log(logPath, limit);
    log.setMode(LMLog::strToLogMode("Encodage"));
    QObject::connect(&log, &LMLog::messageLogged, &app, [](const LMLogMessage &message) {
        const QString text = message.save();
        std::printf("announced %s \"%s\"\n  text form: %s\n  read back: \"%s\" at %s\n",
            qPrintable(LMLog::toString(message.type())), qPrintable(message.message()),
            qPrintable(text), qPrintable(LMLogMessage(text).message()),
            qPrintable(message.datetime().toString(Qt::ISODateWithMs)));
    });

    s_log = &log;
    const QtMessageHandler previous = qInstallMessageHandler(qtHandler);
    const QLoggingCategory userMessages("lm.usermessage");

    std::printf("log file %s, limit %u characters, mode Encodage\n", qPrintable(logPath), limit);
    for (int i = 1; i <= 12; ++i) {
        if (LMLog::modeContains(LOG::INFO))
            qCInfo(LMLog::s_lmLogCat) << "[DEMO] frame" << i << "decoded";
        avLog(24, "[h264 @ 0x55d0] concealing %d DC, %d AC errors in P frame\n", i, 2 * i);
        avLog(40, "[h264 @ 0x55d0] verbose detail %d (never written)\n", i);
        if (LMLog::modeContains(LOG::WARNING))
            qCWarning(LMLog::s_lmLogCat) << "[DEMO] output" << i % 3 << "late by" << i * 4 << "ms";
    }
    qCCritical(LMLog::s_lmLogCat).noquote() << "[DEMO] media server 2 stopped answering";
    qCInfo(userMessages).noquote() << "Show \"Opening night\" saved * 3 cues | 2 devices";
    avLog(16, "Error while decoding stream #0:1: %s\n", "Invalid data found");
    log.setMode(lmlog::Show);
    avLog(24, "warning dropped in Show mode\n");
    qWarning("[DEMO] Qt warnings are still written in Show mode");

    qInstallMessageHandler(previous);
    s_log = nullptr;
    return 0;
}
