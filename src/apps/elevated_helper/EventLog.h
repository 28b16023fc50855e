#pragma once

#include <QByteArray>
#include <QString>

// Writes one informational entry under the source "Lumora elevated helper": the Windows
// event log there (EventLog_win.cpp), syslog elsewhere (EventLog_unix.cpp). Every system gets
// the same escaped, bounded text (eventLogText). On Linux, when LM_HELPER_EVENT_LOG names a
// file, the entry is also appended to it as one line; never on Windows, where the helper runs
// as administrator and whoever sets the user's environment must not choose what it writes to.
void reportEvent(const QString &text);

// The entry as the event log gets it: backslash, control characters and DEL escaped ("\\n",
// "\\r", "\\xNN"), so that no NUL cuts it and it stays on one line; at most
// kEventTextLimit bytes (ReportEventA refuses strings of about 31,800 characters and more),
// a longer one cut at a character boundary with " [cut, N bytes in all]".
constexpr int kEventTextLimit = 31000;
QByteArray eventLogText(const QString &text);

// The one-line form used in the event log file: eventLogText and a line feed.
QByteArray eventLogLine(const QString &text);

// The platform's side (EventLog_win.cpp, EventLog_unix.cpp).
void reportToSystemLog(const QByteArray &text);
void appendToEventLogFile(const QByteArray &line);
