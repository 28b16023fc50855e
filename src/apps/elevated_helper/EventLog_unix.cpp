#include "EventLog.h"

#include <QFile>

#include <syslog.h>
#include <unistd.h>

void reportToSystemLog(const QByteArray &text)
{
    // No syslog socket, no daemon to take the entry: spare the futile connection attempt.
    if (access(_PATH_LOG, F_OK) != 0)
        return;
    openlog("Lumora elevated helper", LOG_PID, LOG_USER);
    syslog(LOG_INFO, "%s", text.constData());
    closelog();
}

void appendToEventLogFile(const QByteArray &line)
{
    const QString path = qEnvironmentVariable("LM_HELPER_EVENT_LOG");
    if (path.isEmpty())
        return;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(line);
}
