#include "EventLog.h"

#include <QFile>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <syslog.h>
#include <unistd.h>
#endif

namespace {

void reportToSystem(const QByteArray &utf8)
{
#ifdef Q_OS_WIN
    HANDLE source = RegisterEventSourceW(nullptr, L"Lumora elevated helper");
    if (!source)
        return;
    const char *strings[] = {utf8.constData()};
    ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
#else
    // No syslog socket, no daemon to take the entry: spare the futile connection attempt.
    if (access(_PATH_LOG, F_OK) != 0)
        return;
    openlog("Lumora elevated helper", LOG_PID, LOG_USER);
    syslog(LOG_INFO, "%s", utf8.constData());
    closelog();
#endif
}

} // namespace

QByteArray eventLogLine(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray line;
    line.reserve(utf8.size() + 1);
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\')
            line += "\\\\";
        else if (c == '\n')
            line += "\\n";
        else if (c == '\r')
            line += "\\r";
        else if (byte < 0x20 || byte == 0x7F)
            line += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
        else
            line += c;
    }
    line += '\n';
    return line;
}

void reportEvent(const QString &text)
{
    reportToSystem(text.toUtf8());
    const QString path = qEnvironmentVariable("LM_HELPER_EVENT_LOG");
    if (path.isEmpty())
        return;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(eventLogLine(text));
}
