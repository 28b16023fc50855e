#pragma once

#include <QString>

// Writes one informational entry under the source "Lumora elevated helper": the Windows
// event log there, syslog elsewhere. When LM_HELPER_EVENT_LOG names a file, the entry is
// also appended to it as one line (control characters escaped).
void reportEvent(const QString &text);

// The one-line form used in the event log file.
QByteArray eventLogLine(const QString &text);
