#include "LMLog.h"

#include "LMLogLink.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <QTime>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

QLoggingCategory LMLog::s_lmLogCat("lm.default", QtDebugMsg);
LogTypeManager LMLog::s_typeManager;

namespace {

const DefaultQtFormatSetter s_formatSetter;

constexpr int kFileTailChars = 20;
constexpr std::size_t kFfmpegBufferSize = 2048;
constexpr std::size_t kKeptCapacity = 64 * 1024;

// Type tags already padded to the 11-character field.
const char *paddedTypeTag(LOG::logType type)
{
    switch (type) {
    case LOG::FATAL:
        return "[FATAL]    ";
    case LOG::CRITICAL:
        return "[CRITICAL] ";
    case LOG::WARNING:
        return "[WARNING]  ";
    case LOG::INFO:
        return "[INFO]     ";
    case LOG::DEBUG:
        return "[DEBUG]    ";
    }
    return "[UNKNOWN]  ";
}

LOG::logType fromQtType(QtMsgType type)
{
    switch (type) {
    case QtFatalMsg:
        return LOG::FATAL;
    case QtCriticalMsg:
        return LOG::CRITICAL;
    case QtWarningMsg:
        return LOG::WARNING;
    case QtInfoMsg:
        return LOG::INFO;
    case QtDebugMsg:
        return LOG::DEBUG;
    }
    return static_cast<LOG::logType>(0);
}

bool fromFfmpegLevel(int level, LOG::logType *type)
{
    switch (level) {
    case 0:
    case 8:
        *type = LOG::FATAL;
        return true;
    case 16:
        *type = LOG::CRITICAL;
        return true;
    case 24:
        *type = LOG::WARNING;
        return true;
    case 32:
        *type = LOG::INFO;
        return true;
    default:
        return false;
    }
}

void appendTwoDigits(std::string &out, int value)
{
    out.push_back(char('0' + value / 10));
    out.push_back(char('0' + value % 10));
}

// Set when the thread's line builder is destroyed. Trivially destructible, so
// it stays readable while the thread's other thread_local objects go.
thread_local bool t_lineGone = false;

// Builds one line as UTF-8 and counts its UTF-16 length. Everything that
// stays constant for a thread or a second is computed once and reused, so a
// line costs little more than copying its message.

class LineBuilder
{
public:
    LineBuilder() = default;
    LineBuilder(const LineBuilder &) = delete;
    LineBuilder &operator=(const LineBuilder &) = delete;

    void reset()
    {
        // One huge message must not pin its buffer for the thread's lifetime.
        if (m_text.capacity() > kKeptCapacity)
            std::string().swap(m_text);
        m_text.clear();
        m_chars = 0;
    }

    void appendTime(qint64 msecs)
    {
        qint64 second = msecs / 1000;
        int ms = int(msecs % 1000);
        if (ms < 0) {
            ms += 1000;
            --second;
        }
        if (second != m_second) {
            // Zone offsets are whole minutes, so the local h:m:s text holds
            // for the whole second.
            const QTime t = QDateTime::fromMSecsSinceEpoch(second * 1000).time();
            std::string text;
            appendTwoDigits(text, t.hour());
            text.push_back(':');
            appendTwoDigits(text, t.minute());
            text.push_back(':');
            appendTwoDigits(text, t.second());
            text.push_back(':');
            m_secondText = text;
            m_second = second;
        }
        m_text += m_secondText;
        m_text.push_back(char('0' + ms / 100));
        appendTwoDigits(m_text, ms % 100);
        m_text += "  T";
        m_chars += 15;
    }

    void appendThreadId()
    {
        if (m_threadHex.empty()) {
            char digits[32];
            const auto id = quint64(reinterpret_cast<quintptr>(QThread::currentThreadId()));
            const auto result = std::to_chars(digits, digits + sizeof digits, id, 16);
            const auto length = std::size_t(result.ptr - digits);
            if (length < 4)
                m_threadHex.assign(4 - length, '0');
            m_threadHex.append(digits, length);
        }
        m_text += m_threadHex;
        m_text.push_back(' ');
        m_chars += m_threadHex.size() + 1;
    }

    void appendAscii(const char *text, std::size_t length)
    {
        m_text.append(text, length);
        m_chars += length;
    }

    // The last 20 characters of the source file name.
    void appendFileTail(const char *file)
    {
        if (!file)
            return;
        const std::size_t length = std::strlen(file);
        const std::size_t tail = length < kFileTailChars ? length : kFileTailChars;
        const char *start = file + length - tail;
        const bool ascii = std::all_of(
            start, file + length, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (ascii) {
            appendAscii(start, tail);
            return;
        }
        // Non-ASCII: 20 characters span at most 80 bytes; skip a cut sequence.
        const std::size_t window = length < 4 * kFileTailChars ? length : 4 * kFileTailChars;
        const char *from = file + length - window;
        while (from < file + length && (static_cast<unsigned char>(*from) & 0xC0) == 0x80)
            ++from;
        appendText(QString::fromUtf8(from, file + length - from).right(kFileTailChars));
    }

    void appendLineNumber(int line)
    {
        char digits[16];
        const auto result = std::to_chars(digits, digits + sizeof digits, line);
        const auto length = std::size_t(result.ptr - digits);
        if (length < 4) {
            m_text.append(4 - length, ' ');
            m_chars += 4 - length;
        }
        appendAscii(digits, length);
    }

    void appendText(QStringView text)
    {
        const QChar *chars = text.data();
        const qsizetype size = text.size();
        qsizetype i = 0;
        const std::size_t base = m_text.size();
        m_text.resize(base + std::size_t(size));
        char *out = m_text.data() + base;
        for (; i < size && chars[i].unicode() < 0x80; ++i)
            out[i] = char(chars[i].unicode());
        m_text.resize(base + std::size_t(i));
        if (i < size) {
            const QByteArray rest = text.mid(i).toUtf8();
            m_text.append(rest.constData(), std::size_t(rest.size()));
        }
        m_chars += std::size_t(size);
    }

    void finish() { m_text.push_back('\n'); }

    const std::string &text() const { return m_text; }
    quint32 chars() const { return quint32(m_chars); }

private:
    std::string m_text;
    std::size_t m_chars = 0;
    qint64 m_second = std::numeric_limits<qint64>::min();
    std::string m_secondText;
    std::string m_threadHex;
};

// The thread's own builder.
struct ThreadLine
{
    // Destructors of thread_local and static objects that run later may still
    // log; they must not touch this buffer any more.
    ~ThreadLine() { t_lineGone = true; }
    LineBuilder builder;
};
thread_local ThreadLine t_line;

// Shifts the generations up by one; each step ignores failure. True when the
// current file itself was renamed away.
bool rotateLogFile(const QString &name)
{
    QFile::remove(name + QLatin1String(".old5"));
    for (int generation = 4; generation >= 1; --generation) {
        const QString from = name + QLatin1String(".old") + QString::number(generation);
        QFile::rename(from, name + QLatin1String(".old") + QString::number(generation + 1));
        // Frees the name even if the rename failed, so the next rename finds
        // its target free.
        QFile::remove(from);
    }
    return QFile::rename(name, name + QLatin1String(".old1"));
}

// The fields of one line, in the file's layout.
void buildLine(LineBuilder &builder, const char *file, int line, LOG::logType type,
    QStringView message, qint64 msecs)
{
    builder.reset();
    builder.appendTime(msecs);
    builder.appendThreadId();
    builder.appendAscii(paddedTypeTag(type), 11);
    builder.appendAscii(" ", 1);
    builder.appendFileTail(file);
    builder.appendAscii(":", 1);
    builder.appendLineNumber(line);
    builder.appendAscii(" ", 1);
    builder.appendText(message);
    builder.finish();
}

} // namespace

DefaultQtFormatSetter::DefaultQtFormatSetter()
{
    qSetMessagePattern(
        QStringLiteral("%{time hh:mm:ss.zzz} T%{threadid} %{type} %{file}:%{line} %{message}"));
}

LogFileWriter::LogFileWriter(const QString &filePath, quint32 limit)
    : file(filePath)
    , sizeLimit(limit)
{
    // A logger without a file (only wanted for its mode calls) stays quiet.
    if (filePath.isEmpty())
        return;
    QDir().mkpath(QFileInfo(filePath).path());
    // Unbuffered: every line goes to the file with a single write.
    open = file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
}

LogFileWriter::~LogFileWriter()
{
    file.close();
    open = false;
}

void LogFileWriter::writeLine(const char *utf8, qint64 bytes, quint32 n)
{
    if (!open)
        return;
    if (quint64(written) + n >= sizeLimit) {
        const bool rotated = rotate();
        if (!open)
            return;
        if (rotated)
            stuckNoticed = false;
        else if (!stuckNoticed)
            writeStuckNotice();
    }
    file.write(utf8, bytes);
    file.flush();
    written += n;
}

void LogFileWriter::writeStuckNotice()
{
    stuckNoticed = true;
    if (!LMLog::modeContains(LOG::WARNING))
        return;
    // Written here, not through Qt: this runs inside the message handler and
    // under the logger's mutex. The line being written still occupies the
    // thread's builder.
    LineBuilder notice;
    buildLine(notice, __FILE__, __LINE__, LOG::WARNING,
        QStringLiteral("[LMLOG] Log file %1 could not be renamed for rotation (another program "
                       "may hold it open): appending to it, next try after another %2 "
                       "characters")
            .arg(QDir::toNativeSeparators(file.fileName()))
            .arg(sizeLimit),
        QDateTime::currentMSecsSinceEpoch());
    file.write(notice.text().data(), qint64(notice.text().size()));
    file.flush();
    written += notice.chars();
}

bool LogFileWriter::flush()
{
    return open && file.flush();
}

bool LogFileWriter::rotate()
{
    open = false;
    file.close();
    const bool rotated = rotateLogFile(file.fileName());
    // The name is normally free now and this starts an empty file. Should the
    // rename have failed, appending keeps the lines already there instead of
    // truncating them away, and counting from 0 puts the next try another
    // limit's worth of characters away rather than at the next line.
    open = file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    written = 0;
    return rotated;
}

LMLog::LMLog(const QString &filePath, quint32 sizeLimit)
    : QObject(nullptr)
    , m_writer(filePath, sizeLimit)
{
    linkLastLog();
}

LMLog::~LMLog() = default;

void LMLog::linkLastLog()
{
    const QFileInfo info(m_writer.file.fileName());
    const QString name = info.fileName();
    if (name.isEmpty())
        return;
    const QString prefix = name.section(QLatin1Char('-'), 0, 0);
    const QString linkPath = info.path() + QLatin1Char('/') + prefix + QLatin1String("-last.log");
    // A log file that is itself named like its link must not be replaced.
    if (QFileInfo(linkPath).absoluteFilePath() == info.absoluteFilePath())
        return;
    // The link sits beside the file, so the bare file name always reaches it.
    lmlogfs::replaceLink(linkPath, name);
}

void LMLog::qtLogHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const LOG::logType mapped = fromQtType(type);
    log(context.file, context.line, mapped, message, now);

    const char *category = context.category;
    if (!category || std::strncmp(category, "lm.", 3) != 0)
        return;
    if (std::strncmp(category, "lm.usermessage", 14) == 0 || type == QtCriticalMsg
        || type == QtFatalMsg) {
        emit messageLogged(LMLogMessage(message, mapped, QDateTime::fromMSecsSinceEpoch(now)));
    }
}

void LMLog::ffmpegLogHandler(int level, const char *format, va_list arguments)
{
    LOG::logType type;
    if (!fromFfmpegLevel(level, &type) || !modeContains(type) || !format)
        return;
    char buffer[kFfmpegBufferSize];
    const int wanted = std::vsnprintf(buffer, sizeof buffer, format, arguments);
    // vsnprintf reports the untruncated length; only what fits was written.
    const std::size_t length = wanted < 0     ? 0
        : std::size_t(wanted) < sizeof buffer ? std::size_t(wanted)
                                              : sizeof buffer - 1;
    log("", 0, type, QString::fromUtf8(buffer, qsizetype(length)),
        QDateTime::currentMSecsSinceEpoch());
}

void LMLog::log(const char *file, int line, LOG::logType type, const QString &message, qint64 msecs)
{
    std::optional<LineBuilder> late;
    LineBuilder &builder = t_lineGone ? late.emplace() : t_line.builder;
    buildLine(builder, file, line, type, message, msecs);

    const std::string &text = builder.text();
    QMutexLocker locker(&m_mutex);
    m_writer.writeLine(text.data(), qint64(text.size()), builder.chars());
    if (modeContains(LOG::DEBUG)) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
}

void LMLog::flush()
{
    QMutexLocker locker(&m_mutex);
    m_writer.flush();
}

void LMLog::setMode(lmlog::logMode mode)
{
    const int value = int(mode);
    quint16 mask = 0x01;
    if (value < 4)
        mask = 0x03;
    if (value < 3)
        mask |= 0x04;
    if (value < 2)
        mask |= 0x08;
    if (value < 1)
        mask |= 0x10;
    s_typeManager.mask.store(mask, std::memory_order_relaxed);
}

lmlog::logMode LMLog::strToLogMode(const std::string &name)
{
    if (name == "Show")
        return lmlog::Show;
    if (name == "Filage")
        return lmlog::Filage;
    if (name == "Repetition")
        return lmlog::Repetition;
    if (name == "Encodage")
        return lmlog::Encodage;
    if (name == "Developer")
        return lmlog::Developer;
    return lmlog::Encodage;
}

QString LMLog::toString(LOG::logType type)
{
    return QString::fromLatin1(paddedTypeTag(type)).trimmed();
}

bool LMLog::modeContains(LOG::logType type)
{
    const int mask = s_typeManager.mask.load(std::memory_order_relaxed);
    return (mask | int(type)) == mask;
}
