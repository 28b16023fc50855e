#include "EventLog.h"

#include <windows.h>

void reportToSystemLog(const QByteArray &text)
{
    HANDLE source = RegisterEventSourceW(nullptr, L"Lumora elevated helper");
    if (!source)
        return;
    // ReportEventA takes C strings: the text is escaped, so it holds no NUL, and bounded.
    const char *strings[] = {text.constData()};
    ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}

void appendToEventLogFile(const QByteArray &)
{
    // Deliberately nothing: an administrator's write to a path named by the environment.
}
