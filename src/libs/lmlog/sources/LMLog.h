#pragma once

#include "LMLogExport.h"
#include "LMLogMessage.h"

#include <QFile>
#include <QLoggingCategory>
#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdarg>
#include <string>

namespace LOG {
// One bit per type, so a mask can hold any combination. The fixed underlying
// type lets any stored integer travel through a logType unchanged.
enum logType : int {
    FATAL = 1,
    CRITICAL = 2,
    WARNING = 4,
    INFO = 8,
    DEBUG = 16,
};
} // namespace LOG

namespace lmlog {
// From most to least verbose.
enum logMode : int {
    Developer = 0,
    Encodage = 1,
    Repetition = 2,
    Filage = 3,
    Show = 4,
};
} // namespace lmlog

// Installs the process's Qt message pattern when constructed; every component
// that logs keeps one static instance.
struct LMLOG_EXPORT DefaultQtFormatSetter
{
    DefaultQtFormatSetter();
    DefaultQtFormatSetter(const DefaultQtFormatSetter &) = default;
    DefaultQtFormatSetter(DefaultQtFormatSetter &&) = default;
    DefaultQtFormatSetter &operator=(const DefaultQtFormatSetter &) = default;
    DefaultQtFormatSetter &operator=(DefaultQtFormatSetter &&) = default;
};

// The process-wide type mask. Constant-initialised, so it is valid before any
// static constructor of any library runs; relaxed atomic, as cheap as a plain
// value but free of torn reads.
class LogTypeManager
{
public:
    constexpr LogTypeManager() = default;
    ~LogTypeManager() { }

    std::atomic<quint16> mask {0x0F};
};

// The log file and its bookkeeping; used only under the logger's mutex.
class LogFileWriter
{
public:
    LogFileWriter(const QString &filePath, quint32 sizeLimit);
    ~LogFileWriter();

    // Appends one finished line (UTF-8, line break included) of n characters,
    // rotating first when the limit would be reached.
    void writeLine(const char *utf8, qint64 bytes, quint32 n);
    bool flush();
    bool isOpen() const { return open; }

    QFile file;
    quint32 sizeLimit;
    quint32 written = 0;
    bool open = false;
    // Set once a failed rotation has been reported, until one succeeds.
    bool stuckNoticed = false;

private:
    // True when the current file was renamed away.
    bool rotate();
    void writeStuckNotice();
};

class LMLOG_EXPORT LMLog : public QObject
{
    Q_OBJECT

public:
    LMLog(const QString &filePath, quint32 sizeLimit);
    ~LMLog() override;

    void qtLogHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);
    void ffmpegLogHandler(int level, const char *format, va_list arguments);
    void flush();

    // Changes the process-wide mask, shared by every logger and client.
    void setMode(lmlog::logMode mode);

    static lmlog::logMode strToLogMode(const std::string &name);
    static QString toString(LOG::logType type);
    static bool modeContains(LOG::logType type);

    static QLoggingCategory s_lmLogCat;

signals:
    void messageLogged(const LMLogMessage &lmmsg);

private:
    // Common writer of both handlers; msecs is the local time's epoch value.
    void log(const char *file, int line, LOG::logType type, const QString &message, qint64 msecs);
    void linkLastLog();

    LogFileWriter m_writer;
    QMutex m_mutex;

    static LogTypeManager s_typeManager;
};
