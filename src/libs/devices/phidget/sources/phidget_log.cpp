#include "phidget_log.h"

#include <LMLog.h>

#include <QString>

void logPhidgetCallFailure(
    const char *file, int line, const char *function, const char *message, PhidgetReturnCode code)
{
    if (!LMLog::modeContains(LOG::INFO) || !LMLog::s_lmLogCat.isInfoEnabled())
        return;
    const char *description = nullptr;
    if (Phidget_getErrorDescription(code, &description) != EPHIDGET_OK)
        description = nullptr;
    QMessageLogger(file, line, function).info(LMLog::s_lmLogCat).noquote()
        << "[PHIDGET]" << message
        << QStringLiteral("Error %1: %2")
               .arg(QString::number(int(code)), QString::fromUtf8(description ? description : ""));
}
