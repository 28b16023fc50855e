#pragma once

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <LMLog.h>

#include <cstdarg>

// Calls the FFmpeg adapter the way FFmpeg's log callback would.
inline void ffmpegStyle(LMLog &log, int level, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    log.ffmpegLogHandler(level, format, arguments);
    va_end(arguments);
}

// Lines of a log file as text; a missing file reads as no lines.
inline QStringList readLogLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    if (text.isEmpty())
        return {};
    return text.split(QLatin1Char('\n'));
}

inline QByteArray readLogBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct LogLine
{
    bool valid = false;
    QString time; // hh:mm:ss:zzz
    QString thread; // lower-case hex
    QString type; // the 11-character field
    QString file;
    QString line; // the line field, padding included
    QString message;
};

// Splits one formatted line into its fields.
inline LogLine parseLogLine(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^(\d\d:\d\d:\d\d:\d\d\d)  T([0-9a-f]{4,}) (.{11}) (.{0,20}?):( {0,3}-?\d+) (.*)$)"));
    const QRegularExpressionMatch match = pattern.match(text);
    LogLine parsed;
    if (!match.hasMatch())
        return parsed;
    parsed.valid = true;
    parsed.time = match.captured(1);
    parsed.thread = match.captured(2);
    parsed.type = match.captured(3);
    parsed.file = match.captured(4);
    parsed.line = match.captured(5);
    parsed.message = match.captured(6);
    return parsed;
}

#ifdef Q_OS_WIN
#include <QDir>

#include <qt_windows.h>

// Holds a file open as a log viewer on Windows does: others may read and
// write it, but while it is held nobody can delete or rename it.
class HeldOpen
{
public:
    explicit HeldOpen(const QString &path)
        : m_handle(::CreateFileW(QDir::toNativeSeparators(path).toStdWString().c_str(),
            GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
            FILE_ATTRIBUTE_NORMAL, nullptr))
    { }
    HeldOpen(const HeldOpen &) = delete;
    HeldOpen &operator=(const HeldOpen &) = delete;
    ~HeldOpen() { release(); }

    bool isHeld() const { return m_handle != INVALID_HANDLE_VALUE; }
    void release()
    {
        if (isHeld())
            ::CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_handle;
};
#endif
